// The udev rule that gives the logged-in user access to both mice.
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

TEST(UdevRule, TagsBothMiceForTheSeatUserAndNeverMakesThemWorldWritable)
{
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(fs::path(ZENTROVA_SOURCE_DIR) / "packaging"))
        if (e.path().extension() == ".rules")
            files.push_back(e.path());
    ASSERT_EQ(files.size(), 1u);
    // udev orders rule files by name; uaccess is acted on in 73-seat-late.rules.
    EXPECT_LT(files[0].filename().string(), std::string("73-seat-late.rules"));

    const std::regex mode(R"re(MODE\s*:?=\s*"0?[0-7]?[0-7]?([0-7])")re");
    bool tagged[2] = {false, false}; // products 0002 (right) and 0003 (left)
    std::ifstream in(files[0]);
    for (std::string line; std::getline(in, line);) {
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#')
            continue;
        std::smatch m;
        if (std::regex_search(line, m, mode)) {
            EXPECT_EQ((m[1].str()[0] - '0') & 2, 0) << line;
        }
        EXPECT_EQ(line.find("GROUP=\"users\""), std::string::npos) << line;
        if (line.find("TAG+=\"uaccess\"") == std::string::npos)
            continue;
        EXPECT_NE(line.find("ATTR{idVendor}==\"7a51\""), std::string::npos) << line;
        for (int i = 0; i < 2; ++i)
            tagged[i] |= line.find("ATTR{idProduct}==\"000" + std::to_string(i + 2) + "\"") != std::string::npos;
    }
    EXPECT_TRUE(tagged[0] && tagged[1]) << "right (0002) " << tagged[0] << ", left (0003) " << tagged[1];
}

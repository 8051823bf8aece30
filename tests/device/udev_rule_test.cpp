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

    const std::regex worldWritable(R"re(^[^#]*MODE\s*:?=\s*"0?[0-7]?[0-7]?[2367]")re");
    const std::regex tag(R"re(^[^#]*TAG\+="uaccess")re");
    const std::regex mouse(R"re(^\s*ATTR\{idVendor\}=="7a51".*ATTR\{idProduct\}=="000([23])")re");
    bool tagged[2] = {false, false}; // products 0002 (right) and 0003 (left)
    std::ifstream in(files[0]);
    std::smatch m;
    for (std::string line; std::getline(in, line);) {
        EXPECT_FALSE(std::regex_search(line, worldWritable)) << line;
        if (!std::regex_search(line, tag))
            continue;
        ASSERT_TRUE(std::regex_search(line, m, mouse)) << "tags something else: " << line;
        tagged[m[1].str()[0] - '2'] = true;
    }
    EXPECT_TRUE(tagged[0] && tagged[1]) << "right (0002) " << tagged[0] << ", left (0003) " << tagged[1];
}

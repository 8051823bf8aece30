// The udev rule that gives the logged-in user access to both mice.
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> ruleFiles()
{
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(fs::path(ZENTROVA_SOURCE_DIR) / "packaging"))
        if (e.path().extension() == ".rules")
            files.push_back(e.path());
    return files;
}

// Rule lines without comments and blank lines.
std::vector<std::string> ruleLines(const fs::path& file)
{
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        const auto first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line[first] != '#')
            lines.push_back(line);
    }
    return lines;
}

TEST(UdevRule, TagsBothMiceForTheSeatUserAndSortsBeforeSeatLate)
{
    const auto files = ruleFiles();
    ASSERT_EQ(files.size(), 1u);
    // udev orders rule files by name; uaccess is acted on in 73-seat-late.rules.
    EXPECT_LT(files[0].filename().string(), std::string("73-seat-late.rules"));

    bool product[2] = {false, false};
    for (const std::string& line : ruleLines(files[0])) {
        if (line.find("TAG+=\"uaccess\"") == std::string::npos)
            continue;
        EXPECT_NE(line.find("ATTR{idVendor}==\"7a51\""), std::string::npos) << line;
        product[0] |= line.find("ATTR{idProduct}==\"0002\"") != std::string::npos;
        product[1] |= line.find("ATTR{idProduct}==\"0003\"") != std::string::npos;
    }
    EXPECT_TRUE(product[0]) << "right-hand mouse (0002) not tagged";
    EXPECT_TRUE(product[1]) << "left-hand mouse (0003) not tagged";
}

TEST(UdevRule, NeverMakesTheNodeWorldWritable)
{
    const std::regex mode(R"re(MODE\s*:?=\s*"0?[0-7]?[0-7]?([0-7])")re");
    for (const auto& file : ruleFiles())
        for (const std::string& line : ruleLines(file)) {
            std::smatch m;
            if (std::regex_search(line, m, mode)) {
                EXPECT_EQ((m[1].str()[0] - '0') & 2, 0) << line;
            }
            EXPECT_EQ(line.find("GROUP=\"users\""), std::string::npos) << line;
        }
}

} // namespace

#include "zentrova/profile/key_tables.h"

#include <string>

#include <gtest/gtest.h>

namespace {

TEST(KeyTables, NameLookupIgnoresCaseButNotSpacing)
{
    for (const char* name : {"leftbracket", "LEFTBRACKET", "LeftBracket", "lEfTbRaCkEt"})
        EXPECT_EQ(get_hid_scan_code_by_unity_description(name), 0x2F) << name;
    EXPECT_EQ(get_hid_scan_code_by_unity_description("left bracket"), -1);
    EXPECT_EQ(get_hid_scan_code_by_unity_description("leftbracket "), -1);
    EXPECT_EQ(get_hid_scan_code_by_unity_description("leftbrack"), -1);
    EXPECT_EQ(get_hid_scan_code_by_unity_description(""), -1);
    EXPECT_EQ(get_hid_scan_code_by_unity_description(nullptr), -1);
    // A name that is only reachable by name, and a GUI alias.
    EXPECT_EQ(get_hid_scan_code_by_unity_description("SysReq"), 0x46);
    EXPECT_EQ(get_hid_scan_code_by_unity_description("rightwindows"), 0xE7);
}

TEST(KeyTables, EveryRowIsFoundByItsOwnName)
{
    // Names are unique, so each must come back with its own code, even in
    // upper case; the low byte of "not found" (255) is never a real code.
    for (const key_code_map_t& row : key_code_map) {
        std::string upper(row.name);
        for (char& c : upper)
            c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        EXPECT_EQ(get_hid_scan_code_by_unity_description(upper.c_str()), row.hid_code) << row.name;
        EXPECT_NE(row.hid_code, 0xFF);
    }
}

TEST(KeyTables, UnityCodeLookupTakesFirstRow)
{
    struct Case {
        int unity;
        int hid;
    } cases[] = {
        {44, 0x36},   // "comma" shadows "sysreq"
        {-1, 0x6B},   // first key without a KeyCode: "f16"
        {97, 0x04},   // "a"
        {48, 0x27},   // "alpha0" comes after alpha1..9
        {311, 0xE3},  // leftwindows shares the GUI code
        {323, -1},    // Unity mouse KeyCode: not a key
        {0, -1},
        {-2, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(pccode_to_hidcode(c.unity), c.hid) << c.unity;
}

TEST(KeyTables, ButtonLookupCoversOneToTwentyNineOnly)
{
    EXPECT_EQ(convert_unity_button_to_fw_button_index(13), 0);
    EXPECT_EQ(convert_unity_button_to_fw_button_index(29), 48);
    EXPECT_EQ(convert_unity_button_to_fw_button_index(0), -1);
    EXPECT_EQ(convert_unity_button_to_fw_button_index(30), -1);
    EXPECT_EQ(convert_unity_button_to_fw_button_index(-1), -1);
    // 1..29 map one-to-one onto 0..22 and 48, 49, 50, 52, 54, 56.
    bool seen[256] = {};
    for (int b = 1; b <= 29; ++b) {
        const int fw = convert_unity_button_to_fw_button_index(b);
        ASSERT_GE(fw, 0) << b;
        EXPECT_TRUE(fw <= 22 || fw == 48 || fw == 49 || fw == 50 || fw == 52 || fw == 54 || fw == 56) << fw;
        EXPECT_FALSE(seen[fw]) << "index " << fw << " mapped twice";
        seen[fw] = true;
    }
}

TEST(KeyTables, StrcmpcaseOrdersLikeLowerCasedStrcmp)
{
    struct Case {
        const char* a;
        const char* b;
        int sign;
    } cases[] = {
        {"abc", "ABC", 0}, {"", "", 0},     {"abc", "abd", -1}, {"ABD", "abc", 1},
        {"ab", "abc", -1}, {"abc", "ab", 1}, {"", "a", -1},     {"[", "a", -1},  // '[' < 'a', but > 'A'
        {"a", nullptr, 1}, {nullptr, "a", -1}, {nullptr, nullptr, 0},
    };
    for (const Case& c : cases) {
        const int r = strcmpcase(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << (c.a ? c.a : "(null)") << " vs " << (c.b ? c.b : "(null)");
    }
    // The result is the difference of the lower-cased characters, NUL counted.
    EXPECT_EQ(strcmpcase("abC", "abA"), 'c' - 'a');
    EXPECT_EQ(strcmpcase("ab", "abC"), -'c');
    // Bytes above 0x7F compare as signed chars and must not trip tolower.
    EXPECT_LT(strcmpcase("\xC3\xA9", "e"), 0);
    EXPECT_EQ(strcmpcase("\xC3\xA9", "\xC3\xA9"), 0);
}

} // namespace

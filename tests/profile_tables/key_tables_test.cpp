#include "zentrova/profile/key_tables.h"

#include <cctype>
#include <cstdlib>
#include <set>
#include <string>

#include <gtest/gtest.h>

namespace {

int sign(int v) { return (v > 0) - (v < 0); }

#define CASE(expr, want) {#expr, (expr), (want)}

// Names match case-insensitively but otherwise exactly, Unity key codes take
// the first row that carries them, buttons exist for 1..29 only; -1 when not
// found. strcmpcase orders like strcmp on lower-cased signed chars.
TEST(KeyTables, Lookups)
{
    const struct {
        const char* what;
        int got, want;
    } cases[] = {
        CASE(get_hid_scan_code_by_unity_description("leftbracket"), 0x2F),
        CASE(get_hid_scan_code_by_unity_description("lEfTbRaCkEt"), 0x2F),
        CASE(get_hid_scan_code_by_unity_description("leftbracket "), -1),
        CASE(get_hid_scan_code_by_unity_description("leftbrack"), -1),
        CASE(get_hid_scan_code_by_unity_description(""), -1),
        CASE(get_hid_scan_code_by_unity_description(nullptr), -1),
        CASE(get_hid_scan_code_by_unity_description("SysReq"), 0x46), // only reachable by name
        CASE(get_hid_scan_code_by_unity_description("rightwindows"), 0xE7), // a GUI alias
        CASE(pccode_to_hidcode(44), 0x36),  // "comma" shadows "sysreq"
        CASE(pccode_to_hidcode(-1), -1),    // the "no KeyCode" mark of f16..f24
        CASE(pccode_to_hidcode(48), 0x27),  // "alpha0" comes after alpha1..9
        CASE(pccode_to_hidcode(311), 0xE3), // leftwindows shares the GUI code
        CASE(pccode_to_hidcode(323), -1),   // Unity mouse KeyCode: not a key
        CASE(pccode_to_hidcode(0), -1),
        CASE(convert_unity_button_to_fw_button_index(13), 0),
        CASE(convert_unity_button_to_fw_button_index(29), 48),
        CASE(convert_unity_button_to_fw_button_index(0), -1),
        CASE(convert_unity_button_to_fw_button_index(30), -1),
        CASE(sign(strcmpcase("abc", "ABC")), 0),
        CASE(sign(strcmpcase("ABD", "abc")), 1),
        CASE(sign(strcmpcase("[", "a")), -1), // '[' < 'a', but > 'A'
        CASE(sign(strcmpcase("a", nullptr)), 1),
        CASE(sign(strcmpcase(nullptr, "a")), -1),
        CASE(sign(strcmpcase(nullptr, nullptr)), 0),
        CASE(strcmpcase("abC", "abA"), 'c' - 'a'), // the difference of the lower-cased characters,
        CASE(strcmpcase("ab", "abC"), -'c'),       // NUL counted
        CASE(sign(strcmpcase("\xC3\xA9", "e")), -1), // above 0x7F: signed, and no trip in tolower
        CASE(strcmpcase("\xC3\xA9", "\xC3\xA9"), 0),
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.got, c.want) << c.what;
}

// Names are unique, so each row comes back with its own code, even in upper
// case; the low byte of "not found" (255) is never a real code. Buttons 1..29
// map one-to-one onto 0..22 and 48, 49, 50, 52, 54, 56.
TEST(KeyTables, EveryRowIsReachable)
{
    for (const key_code_map_t& row : key_code_map) {
        std::string upper(row.name);
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(get_hid_scan_code_by_unity_description(upper.c_str()), row.hid_code) << row.name;
        EXPECT_NE(row.hid_code, 0xFF);
    }
    // Unity KeyCodes by family: letters and digits are ASCII, keypad digits
    // 256.., f1..f15 282..; keys without one carry -1 and nothing else.
    for (const key_code_map_t& row : key_code_map) {
        const std::string name = row.name;
        const size_t at = name.find_first_of("0123456789");
        const int digit = at == std::string::npos ? -1 : std::atoi(name.c_str() + at);
        int want = row.unity_code < 0 ? -1 : row.unity_code;
        if (name.size() == 1)
            want = name[0];
        else if (name.rfind("alpha", 0) == 0)
            want = '0' + digit;
        else if (name.rfind("keypad", 0) == 0 && digit >= 0)
            want = 256 + digit;
        else if (name[0] == 'f' && digit > 0)
            want = digit <= 15 ? 281 + digit : -1;
        EXPECT_EQ(row.unity_code, want) << row.name;
    }
    std::set<int> buttons;
    for (int b = 1; b <= 29; ++b)
        buttons.insert(convert_unity_button_to_fw_button_index(b));
    std::set<int> expected = {48, 49, 50, 52, 54, 56};
    for (int fw = 0; fw <= 22; ++fw)
        expected.insert(fw);
    EXPECT_EQ(buttons, expected);
}

} // namespace

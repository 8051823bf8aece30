// The key and mouse-button translation tables and their linear lookups.
#include "zentrova/profile/key_tables.h"

#include <cctype>
#include <cstddef>

extern "C" {

const key_code_map_t key_code_map[] = {
    // Letters: HID 0x04.., Unity = ASCII.
    {"a", 0x04, 97}, {"b", 0x05, 98}, {"c", 0x06, 99}, {"d", 0x07, 100}, {"e", 0x08, 101},
    {"f", 0x09, 102}, {"g", 0x0A, 103}, {"h", 0x0B, 104}, {"i", 0x0C, 105}, {"j", 0x0D, 106},
    {"k", 0x0E, 107}, {"l", 0x0F, 108}, {"m", 0x10, 109}, {"n", 0x11, 110}, {"o", 0x12, 111},
    {"p", 0x13, 112}, {"q", 0x14, 113}, {"r", 0x15, 114}, {"s", 0x16, 115}, {"t", 0x17, 116},
    {"u", 0x18, 117}, {"v", 0x19, 118}, {"w", 0x1A, 119}, {"x", 0x1B, 120}, {"y", 0x1C, 121},
    {"z", 0x1D, 122},
    // Digit row.
    {"alpha1", 0x1E, 49}, {"alpha2", 0x1F, 50}, {"alpha3", 0x20, 51}, {"alpha4", 0x21, 52},
    {"alpha5", 0x22, 53}, {"alpha6", 0x23, 54}, {"alpha7", 0x24, 55}, {"alpha8", 0x25, 56},
    {"alpha9", 0x26, 57}, {"alpha0", 0x27, 48},
    // Editing and punctuation.
    {"return", 0x28, 13}, {"escape", 0x29, 27}, {"backspace", 0x2A, 8}, {"tab", 0x2B, 9},
    {"space", 0x2C, 32}, {"minus", 0x2D, 45}, {"equals", 0x2E, 61}, {"leftbracket", 0x2F, 91},
    {"rightbracket", 0x30, 93}, {"backslash", 0x31, 92}, {"backquote", 0x35, 96},
    {"semicolon", 0x33, 59}, {"quote", 0x34, 39}, {"comma", 0x36, 44}, {"period", 0x37, 46},
    {"slash", 0x38, 47}, {"capslock", 0x39, 301},
    // Function keys.
    {"f1", 0x3A, 282}, {"f2", 0x3B, 283}, {"f3", 0x3C, 284}, {"f4", 0x3D, 285},
    {"f5", 0x3E, 286}, {"f6", 0x3F, 287}, {"f7", 0x40, 288}, {"f8", 0x41, 289},
    {"f9", 0x42, 290}, {"f10", 0x43, 291}, {"f11", 0x44, 292}, {"f12", 0x45, 293},
    {"f13", 0x68, 294}, {"f14", 0x69, 295}, {"f15", 0x6A, 296},
    {"f16", 0x6B, -1}, {"f17", 0x6C, -1}, {"f18", 0x6D, -1}, {"f19", 0x6E, -1},
    {"f20", 0x6F, -1}, {"f21", 0x70, -1}, {"f22", 0x71, -1}, {"f23", 0x72, -1},
    {"f24", 0x73, -1},
    // Arrows.
    {"leftarrow", 0x50, 276}, {"rightarrow", 0x4F, 275}, {"downarrow", 0x51, 274}, {"uparrow", 0x52, 273},
    // Modifiers.
    {"leftcontrol", 0xE0, 306}, {"leftshift", 0xE1, 304}, {"leftalt", 0xE2, 308},
    {"rightcontrol", 0xE4, 305}, {"rightshift", 0xE5, 303}, {"rightalt", 0xE6, 307},
    // Navigation block.
    {"home", 0x4A, 278}, {"end", 0x4D, 279}, {"delete", 0x4C, 127},
    {"pageup", 0x4B, 280}, {"pagedown", 0x4E, 281}, {"insert", 0x49, 277},
    // Keypad.
    {"keypad1", 0x59, 257}, {"keypad2", 0x5A, 258}, {"keypad3", 0x5B, 259},
    {"keypad4", 0x5C, 260}, {"keypad5", 0x5D, 261}, {"keypad6", 0x5E, 262},
    {"keypad7", 0x5F, 263}, {"keypad8", 0x60, 264}, {"keypad9", 0x61, 265},
    {"keypad0", 0x62, 256},
    {"keypadmultiply", 0x55, 268}, {"keypaddivide", 0x54, 267}, {"keypadminus", 0x56, 269},
    {"keypadplus", 0x57, 270}, {"keypadenter", 0x58, 271}, {"keypadperiod", 0x63, 266},
    // Locks and system keys. "sysreq" shares Unity code 44 with "comma".
    {"numlock", 0x53, 300}, {"scrolllock", 0x47, 302}, {"sysreq", 0x46, 44},
    {"pause", 0x48, 19}, {"menu", 0x65, 18},
    // GUI keys under both names.
    {"leftcommand", 0xE3, 310}, {"rightcommand", 0xE7, 309},
    {"leftwindows", 0xE3, 311}, {"rightwindows", 0xE7, 312},
};

const mouse_key_map_t mouse_key_map[] = {
    {13, 0},  {16, 2},  {14, 1},  {15, 3},  {17, 7},  {1, 10},  {2, 9},   {3, 8},
    {4, 13},  {5, 12},  {6, 11},  {7, 16},  {8, 15},  {9, 14},  {10, 19}, {11, 18},
    {12, 17}, {21, 22}, {22, 21}, {23, 20}, {18, 4},  {19, 5},  {20, 6},  {24, 50},
    {25, 54}, {26, 52}, {27, 56}, {28, 49}, {29, 48},
};

constexpr int kNoUnityCode = -1;

static_assert(sizeof key_code_map / sizeof key_code_map[0] == KEY_CODE_MAP_ROWS, "key_code_map rows");
static_assert(sizeof mouse_key_map / sizeof mouse_key_map[0] == MOUSE_KEY_MAP_ROWS, "mouse_key_map rows");

// Lower-cases through the C library's locale mapping. The character goes in
// as unsigned char (tolower is undefined for other negative values) and the
// result is taken back as a signed byte, so bytes above 0x7F still compare
// as negative values.
static int lowerSigned(char c)
{
    return static_cast<signed char>(std::tolower(static_cast<unsigned char>(c)));
}

ZENTROVA_API int strcmpcase(const char* a, const char* b)
{
    if (a == nullptr || b == nullptr)
        return a == b ? 0 : (a == nullptr ? -1 : 1);
    for (;; ++a, ++b) {
        const int ca = lowerSigned(*a);
        const int cb = lowerSigned(*b);
        if (ca != cb || *a == '\0')
            return ca - cb;
    }
}

ZENTROVA_API int get_hid_scan_code_by_unity_description(const char* name)
{
    if (name == nullptr)
        return -1;
    for (const key_code_map_t& row : key_code_map)
        if (strcmpcase(row.name, name) == 0)
            return row.hid_code;
    return -1;
}

ZENTROVA_API int pccode_to_hidcode(int unity_code)
{
    // -1 marks the rows of keys that have no Unity KeyCode; it is no code.
    if (unity_code == kNoUnityCode)
        return -1;
    for (const key_code_map_t& row : key_code_map)
        if (row.unity_code == unity_code)
            return row.hid_code;
    return -1;
}

ZENTROVA_API int convert_unity_button_to_fw_button_index(int unity_button)
{
    for (const mouse_key_map_t& row : mouse_key_map)
        if (row.unity_button == unity_button)
            return row.fw_button;
    return -1;
}

} // extern "C"

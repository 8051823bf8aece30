// Turns macro program bytecode back into readable instructions.
#include "zentrova/program/Disassembler.h"

#include <cstdio>

#include "zentrova/program/opcode.h"

namespace zentrova {

namespace {

// How the operand bytes after the opcode are shown.
enum class Operands {
    None,
    Target,         // u16 offset
    InputTarget,    // u8, u16 offset
    U16,            // plain number
    U16Pair,        // two plain numbers
    U8,
    U8Pair,
    Cancel,         // u8, then a byte that is always 0
    Modifiers,      // u8 modifier mask
    Key,            // u8 HID usage
    Repeater,       // u8 u8 u8 u16 u16 u16
    I16,
    Buttons,        // u8 mouse button mask
    Scroll,         // i8
    LedCtrl,        // u8, 24-bit big-endian
};

struct OpInfo {
    uint8_t code;
    const char* mnemonic;
    uint8_t length;
    Operands operands;
};

constexpr OpInfo kOps[] = {
    {OPCODE_NOP, "nop", 1, Operands::None},
    {OPCODE_JUMP, "jump", 3, Operands::Target},
    {OPCODE_JUMP_IF_PRESSED, "jump_if_pressed", 4, Operands::InputTarget},
    {OPCODE_JUMP_IF_RELEASED, "jump_if_released", 4, Operands::InputTarget},
    {OPCODE_SET_LOOP_COUNTER, "set_loop_counter", 3, Operands::U16},
    {OPCODE_LOOP, "loop", 3, Operands::Target},
    {OPCODE_LOCK, "lock", 1, Operands::None},
    {OPCODE_UNLOCK, "unlock", 1, Operands::None},
    {OPCODE_CANCEL, "cancel", 3, Operands::Cancel},
    {OPCODE_UNROLL_STACK, "unroll_stack", 1, Operands::None},
    {OPCODE_DELAY, "delay", 3, Operands::U16},
    {OPCODE_DELAY_RANDOM, "delay_random", 5, Operands::U16Pair},
    {OPCODE_CHANGE_PROFILE, "change_profile", 2, Operands::U8},
    {OPCODE_EXECUTE_LED_PROGRAM, "execute_led_program", 2, Operands::U8},
    {OPCODE_KEY_MODIFIER, "key_modifier", 2, Operands::Modifiers},
    {OPCODE_KEY_MODIFIER_SET, "key_modifier_set", 2, Operands::Modifiers},
    {OPCODE_KEY_MODIFIER_CLR, "key_modifier_clr", 2, Operands::Modifiers},
    {OPCODE_KEY_PRESS, "key_press", 2, Operands::Key},
    {OPCODE_KEY_RELEASE, "key_release", 2, Operands::Key},
    {OPCODE_REPEATER_START, "repeater_start", 10, Operands::Repeater},
    {OPCODE_REPEATER_STOP, "repeater_stop", 2, Operands::U8},
    {OPCODE_JOY_X, "joy_x", 3, Operands::I16},
    {OPCODE_JOY_Y, "joy_y", 3, Operands::I16},
    {OPCODE_JOY_ZERO, "joy_zero", 1, Operands::None},
    {OPCODE_MOUSE_PRESS, "mouse_press", 2, Operands::Buttons},
    {OPCODE_MOUSE_RELEASE, "mouse_release", 2, Operands::Buttons},
    {OPCODE_MOUSE_SCROLL, "mouse_scroll", 2, Operands::Scroll},
    {OPCODE_DPI_INCREASE, "dpi_increase", 1, Operands::None},
    {OPCODE_DPI_DECREASE, "dpi_decrease", 1, Operands::None},
    {OPCODE_DPI_CYCLE, "dpi_cycle", 1, Operands::None},
    {OPCODE_SET_LED_PARAM, "set_led_param", 3, Operands::U8Pair},
    {OPCODE_SET_LED_CTRL, "set_led_ctrl", 5, Operands::LedCtrl},
    {OPCODE_JOY_ON, "joy_on", 1, Operands::None},
    {OPCODE_JOY_OFF, "joy_off", 1, Operands::None},
    {OPCODE_JOY_TOGGLE, "joy_toggle", 1, Operands::None},
};

const OpInfo* findOp(uint8_t code)
{
    for (const OpInfo& op : kOps)
        if (op.code == code)
            return &op;
    return nullptr;
}

std::string hexByte(uint8_t b)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02x", b);
    return buf;
}

std::string hexWord(unsigned v)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%04x", v & 0xFFFFu);
    return buf;
}

unsigned u16At(const uint8_t* b) { return static_cast<unsigned>(b[0]) | (static_cast<unsigned>(b[1]) << 8); }

// Joins the names of the set bits; bits without a name show as hex.
template <typename NameOf>
std::string bitNames(uint8_t mask, NameOf nameOf)
{
    if (mask == 0)
        return "none";
    std::string out;
    for (int bit = 0; bit < 8; ++bit) {
        if (!(mask & (1u << bit)))
            continue;
        if (!out.empty())
            out += '|';
        out += nameOf(bit);
    }
    return out;
}

std::string keyNameOf(uint8_t hid, KeyNamer keyName)
{
    const char* name = keyName != nullptr ? keyName(hid) : nullptr;
    return name != nullptr ? std::string(name) : hexByte(hid);
}

std::string modifierNames(uint8_t mask, KeyNamer keyName)
{
    return bitNames(mask, [keyName](int bit) { return keyNameOf(static_cast<uint8_t>(0xE0 + bit), keyName); });
}

std::string mouseButtonNames(uint8_t mask)
{
    static const char* const kNames[] = {"left", "right", "middle", "button3", "button4", "button5", "button6"};
    return bitNames(mask, [](int bit) {
        return bit < 7 ? std::string(kNames[bit]) : hexByte(static_cast<uint8_t>(1u << bit));
    });
}

std::string operandText(const OpInfo& op, const uint8_t* o, KeyNamer keyName)
{
    switch (op.operands) {
    case Operands::None:
        return {};
    case Operands::Target:
        return hexWord(u16At(o));
    case Operands::InputTarget:
        return std::to_string(o[0]) + ", " + hexWord(u16At(o + 1));
    case Operands::U16:
        return std::to_string(u16At(o));
    case Operands::U16Pair:
        return std::to_string(u16At(o)) + ", " + std::to_string(u16At(o + 2));
    case Operands::U8:
        return std::to_string(o[0]);
    case Operands::U8Pair:
        return std::to_string(o[0]) + ", " + std::to_string(o[1]);
    case Operands::Cancel:
        return o[1] == 0 ? std::to_string(o[0]) : std::to_string(o[0]) + " (third byte " + hexByte(o[1]) + ")";
    case Operands::Modifiers:
        return modifierNames(o[0], keyName);
    case Operands::Key:
        return keyNameOf(o[0], keyName);
    case Operands::Repeater: {
        const unsigned count = u16At(o + 7);
        return "repeater=" + std::to_string(o[0]) + " program=" + std::to_string(o[1]) +
               " flag=" + std::to_string(o[2]) + " delay=" + std::to_string(u16At(o + 3)) + ".." +
               std::to_string(u16At(o + 5)) + " count=" + (count == 0xFFFF ? std::string("forever") : std::to_string(count));
    }
    case Operands::I16:
        return std::to_string(static_cast<int16_t>(u16At(o)));
    case Operands::Buttons:
        return mouseButtonNames(o[0]);
    case Operands::Scroll: {
        const int v = static_cast<int8_t>(o[0]);
        char buf[24];
        std::snprintf(buf, sizeof buf, "%+d%s", v, v == 1 ? " (up)" : v == -1 ? " (down)" : "");
        return buf;
    }
    case Operands::LedCtrl: {
        char buf[24];
        std::snprintf(buf, sizeof buf, "%u, #%02x%02x%02x", o[0], o[1], o[2], o[3]);
        return buf;
    }
    }
    return {};
}

} // namespace

std::vector<DisassembledInstruction> disassembleInstructions(const uint8_t* code, size_t size,
                                                             KeyNamer keyName)
{
    std::vector<DisassembledInstruction> out;
    if (code == nullptr)
        return out;
    size_t pos = 0;
    while (pos < size) {
        const OpInfo* op = findOp(code[pos]);
        if (op == nullptr) {
            out.push_back({pos, 1, false, ".byte " + hexByte(code[pos])});
            ++pos;
            continue;
        }
        const size_t left = size - pos;
        if (left < op->length) {
            std::string text = ".byte ";
            for (size_t i = 0; i < left; ++i)
                text += (i ? ", " : "") + hexByte(code[pos + i]);
            text += std::string(" ; truncated ") + op->mnemonic;
            out.push_back({pos, left, false, text});
            break;
        }
        std::string text = op->mnemonic;
        const std::string operands = operandText(*op, code + pos + 1, keyName);
        if (!operands.empty())
            text += ' ' + operands;
        out.push_back({pos, op->length, true, text});
        pos += op->length;
    }
    return out;
}

std::vector<std::string> disassemble(const uint8_t* code, size_t size, KeyNamer keyName)
{
    std::vector<std::string> lines;
    for (const DisassembledInstruction& ins : disassembleInstructions(code, size, keyName)) {
        char head[16];
        std::snprintf(head, sizeof head, "%04zx  ", ins.offset);
        std::string raw;
        for (size_t i = 0; i < ins.length; ++i) {
            char b[4];
            std::snprintf(b, sizeof b, "%s%02x", i ? " " : "", code[ins.offset + i]);
            raw += b;
        }
        if (raw.size() < 29)
            raw.append(29 - raw.size(), ' ');
        lines.push_back(head + raw + "  " + ins.text);
    }
    return lines;
}

} // namespace zentrova

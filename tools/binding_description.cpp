#include "binding_description.h"

#include <map>

#include <cstdio>
#include "zentrova/program/Disassembler.h"
#include "zentrova/program/opcode.h"
#include "zentrova/profile/KeyNames.h"
#include "zentrova/profile/key_tables.h"

namespace {

using zentrova::ProfileImage;
using zentrova::ProgramRecord;

constexpr uint16_t kUntilStopped = 65535;
constexpr uint8_t kLeftAlt = 0xE2, kLeftArrow = 0x50, kRightArrow = 0x4F;
constexpr uint16_t kDoubleClickGap = 50;

// One decoded instruction: opcode and operand bytes.
struct In {
    uint8_t op;
    std::vector<uint8_t> a;
    uint16_t u16(size_t at) const { return static_cast<uint16_t>(a[at] | (a[at + 1] << 8)); }
};

// The program's instructions; false when a byte is no instruction.
bool decode(const std::vector<uint8_t>& code, std::vector<In>& out)
{
    for (const auto& i : zentrova::disassembleInstructions(code.data(), code.size())) {
        if (!i.valid)
            return false;
        out.push_back({code[i.offset], std::vector<uint8_t>(code.begin() + static_cast<long>(i.offset) + 1,
                                                            code.begin() + static_cast<long>(i.offset + i.length))});
    }
    return true;
}

// A repeater_start: repeater, program, flag, pause bounds, count.
struct Start {
    uint8_t repeater, program, flag;
    uint16_t from, to, count;
};

bool isStart(const In& in) { return in.op == OPCODE_REPEATER_START && in.a.size() == 9; }
Start startOf(const In& in) { return {in.a[0], in.a[1], in.a[2], in.u16(3), in.u16(5), in.u16(7)}; }

std::string keyName(uint8_t hid)
{
    const char* name = zentrova::hidKeyName(hid);
    if (name != nullptr)
        return name;
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02x", hid);
    return hex;
}

std::string modifierNames(uint8_t mask)
{
    std::string out;
    for (unsigned bit = 0; bit < 8; ++bit)
        if (mask & (1u << bit))
            out += (out.empty() ? "" : "+") + keyName(static_cast<uint8_t>(0xE0 + bit));
    return out;
}

std::string buttonNames(uint8_t mask)
{
    static const char* const kNames[] = {"left", "right", "middle", "button3", "button4", "button5", "button6",
                                         "button7"};
    std::string out;
    for (unsigned bit = 0; bit < 8; ++bit)
        if (mask & (1u << bit))
            out += (out.empty() ? "" : "+") + std::string(kNames[bit]);
    return out;
}

std::string withModifiers(uint8_t modifiers, const std::string& what)
{
    return modifiers ? modifierNames(modifiers) + (what.empty() ? "" : "+" + what) : what;
}

class Describer {
public:
    explicit Describer(const ProfileImage& image) : image_(image)
    {
        for (size_t i = 0; i < image.programs.size(); ++i)
            last_[image.programs[i].index] = i;
    }

    BindingDescription describe(size_t record)
    {
        const ProgramRecord& r = image_.programs[record];
        d_ = BindingDescription{};
        d_.record = record;
        d_.index = r.index;
        d_.input = inputOf(r.index);
        for (const mouse_key_map_t& row : mouse_key_map) {
            const uint8_t b = row.fw_button;
            if (d_.event != "shared" && (b >= 48 ? b == (r.index == 49 ? 49 : r.index & ~1u) : b == r.index / 2)) {
                field("configurator_button", static_cast<int64_t>(row.unity_button));
                d_.input += " (configurator button " + std::to_string(row.unity_button) + ")";
            }
        }
        d_.event = eventOf(r.index);
        d_.replaced = last_.at(r.index) != record;
        std::vector<In> code;
        if (r.code.empty())
            set("empty", "no instructions");
        else if (!decode(r.code, code) || !(r.index >= 65 && r.index <= 80 ? shared(r.index, code) : bound(code)))
            set("other", std::to_string(code.size()) + " instructions of no binding the compiler writes");
        return d_;
    }

private:
    static std::string inputOf(uint8_t index)
    {
        if (index <= 45)
            return "button " + std::to_string(index / 2);
        if (index >= 48 && index <= 57)
            return "further input " + std::to_string(index == 48 || index == 49 ? index : index & ~1u);
        if (index >= 65 && index <= 80)
            return "shared program " + std::to_string(index);
        return "index " + std::to_string(index);
    }

    static std::string eventOf(uint8_t index)
    {
        if (index == 48 || index == 49)
            return "single";
        if (index <= 45 || (index >= 50 && index <= 57))
            return index & 1 ? "release" : "press";
        return index >= 65 && index <= 80 ? "shared" : "unassigned";
    }

    void set(const char* kind, const std::string& text)
    {
        d_.kind = kind;
        d_.text = std::string(kind) + ", " + text;
    }
    template <typename T>
    void field(const char* name, T value)
    {
        d_.fields.emplace_back(name, BindingValue(value));
    }

    // The instructions of the program the mouse keeps at `index`, or none.
    std::vector<In> programAt(uint8_t index) const
    {
        std::vector<In> code;
        const auto found = last_.find(index);
        if (found == last_.end() || !decode(image_.programs[found->second].code, code))
            code.clear();
        return code;
    }

    // Whether the program at `index` is a single repeater_start matching `want`.
    bool partnerStarts(uint8_t index, const Start& want, uint8_t flag) const
    {
        for (const In& in : programAt(index)) {
            if (!isStart(in))
                continue;
            const Start s = startOf(in);
            return s.repeater == want.repeater && s.program == want.program && s.flag == flag;
        }
        return false;
    }

    // Press/release/stroke programs of a binding's own input.
    bool bound(std::vector<In> code)
    {
        uint8_t modifiers = 0;
        const bool pressed = !code.empty() && code.front().op == OPCODE_KEY_MODIFIER_SET;
        if (pressed) {
            modifiers |= code.front().a[0];
            code.erase(code.begin());
        }
        const bool released = !code.empty() && code.back().op == OPCODE_KEY_MODIFIER_CLR;
        if (released) {
            modifiers |= code.back().a[0];
            code.pop_back();
        }
        if (modifiers)
            field("modifiers", modifierNames(modifiers));
        const auto is = [&code](std::initializer_list<uint8_t> ops) {
            if (code.size() != ops.size())
                return false;
            size_t i = 0;
            for (uint8_t op : ops)
                if (code[i++].op != op)
                    return false;
            return true;
        };
        if (code.empty()) {
            set("key", modifierNames(modifiers) + (pressed && released ? ", struck" : pressed ? ", down" : ", up"));
        } else if (is({OPCODE_KEY_PRESS}) || is({OPCODE_KEY_RELEASE})) {
            field("key", keyName(code[0].a[0]));
            set("key", withModifiers(modifiers, keyName(code[0].a[0])) + ", " +
                           (code[0].op == OPCODE_KEY_PRESS ? "down" : "up"));
        } else if (is({OPCODE_KEY_PRESS, OPCODE_KEY_RELEASE}) && code[0].a == code[1].a) {
            field("key", keyName(code[0].a[0]));
            set("key", withModifiers(modifiers, keyName(code[0].a[0])) + ", struck");
        } else if (is({OPCODE_MOUSE_PRESS}) || is({OPCODE_MOUSE_RELEASE})) {
            field("buttons", buttonNames(code[0].a[0]));
            clickFunction(code[0].a[0]);
            set("mouse", withModifiers(modifiers, buttonNames(code[0].a[0]) + " button") + ", " +
                             (code[0].op == OPCODE_MOUSE_PRESS ? "down" : "up"));
        } else if (is({OPCODE_MOUSE_PRESS, OPCODE_MOUSE_RELEASE}) && code[0].a == code[1].a) {
            field("buttons", buttonNames(code[0].a[0]));
            clickFunction(code[0].a[0]);
            set("mouse", withModifiers(modifiers, buttonNames(code[0].a[0]) + " click"));
        } else if (is({OPCODE_MOUSE_PRESS, OPCODE_MOUSE_RELEASE, OPCODE_DELAY, OPCODE_MOUSE_PRESS,
                       OPCODE_MOUSE_RELEASE}) &&
                   code[0].a[0] == 1 && code[2].u16(0) == kDoubleClickGap) {
            field("buttons", std::string("left"));
            field("function", std::string("Left Double Click"));
            set("mouse", withModifiers(modifiers, "left double click"));
        } else if (is({OPCODE_MOUSE_SCROLL})) {
            const bool up = static_cast<int8_t>(code[0].a[0]) > 0;
            field("scroll", static_cast<int64_t>(static_cast<int8_t>(code[0].a[0])));
            field("function", std::string(up ? "Scroll Up" : "Scroll Down"));
            set("mouse", withModifiers(modifiers, up ? "scroll up" : "scroll down"));
        } else if (is({OPCODE_KEY_PRESS, OPCODE_KEY_PRESS, OPCODE_KEY_RELEASE, OPCODE_KEY_RELEASE}) &&
                   code[0].a[0] == kLeftAlt && code[3].a[0] == kLeftAlt && code[1].a == code[2].a &&
                   (code[1].a[0] == kLeftArrow || code[1].a[0] == kRightArrow)) {
            const bool back = code[1].a[0] == kLeftArrow;
            field("function", std::string(back ? "Mouse Button 4" : "Mouse Button 5"));
            set("mouse", withModifiers(modifiers, back ? "button 4 (back: leftalt+leftarrow)"
                                                       : "button 5 (forward: leftalt+rightarrow)"));
        } else if (is({OPCODE_DPI_CYCLE}) || is({OPCODE_DPI_INCREASE}) || is({OPCODE_DPI_DECREASE})) {
            const uint8_t op = code[0].op;
            field("function", std::string(op == OPCODE_DPI_CYCLE      ? "DPI Cycle"
                                          : op == OPCODE_DPI_INCREASE ? "DPI Up"
                                                                      : "DPI Down"));
            set("dpi", op == OPCODE_DPI_CYCLE ? "cycle the levels" : op == OPCODE_DPI_INCREASE ? "up" : "down");
        } else if (is({OPCODE_CHANGE_PROFILE})) {
            field("profile", static_cast<int64_t>(code[0].a[0]));
            set("profile", "switch to profile " + std::to_string(code[0].a[0]));
        } else if (!modifiers && joystick(code)) {
        } else if (!modifiers && trigger(code)) {
        } else {
            return false;
        }
        return true;
    }

    // The configurator's name of a click function of one button.
    void clickFunction(uint8_t mask)
    {
        const char* name = mask == 1 ? "Left Click" : mask == 2 ? "Right Click" : mask == 4 ? "Scroll Click" : nullptr;
        if (name != nullptr)
            field("function", std::string(name));
    }

    bool joystick(std::vector<In> code)
    {
        const bool zero = !code.empty() && code.front().op == OPCODE_JOY_ZERO;
        if (zero)
            code.erase(code.begin());
        if (code.size() != 1)
            return false;
        const char* what = code[0].op == OPCODE_JOY_ON ? "on" : code[0].op == OPCODE_JOY_OFF ? "off"
                           : code[0].op == OPCODE_JOY_TOGGLE                                  ? "toggle"
                                                                                              : nullptr;
        if (what == nullptr)
            return false;
        field("centred", zero);
        set("joystick", std::string(what) + (zero ? ", centred first" : ""));
        return true;
    }

    // A macro or key-repeater trigger: repeater_start with or without an unroll_stack.
    bool trigger(const std::vector<In>& code)
    {
        const bool unrollFirst = code.size() == 2 && code[0].op == OPCODE_UNROLL_STACK && isStart(code[1]);
        const bool unrollLast = code.size() == 2 && isStart(code[0]) && code[1].op == OPCODE_UNROLL_STACK;
        if (!(code.size() == 1 && isStart(code[0])) && !unrollFirst && !unrollLast)
            return false;
        const Start s = startOf(code[unrollFirst ? 1 : 0]);
        std::string mode;
        if (unrollFirst)
            mode = "normal";
        else if (s.flag == 1 && s.count == kUntilStopped)
            mode = partnerStarts(static_cast<uint8_t>(d_.index + 1), s, 0) ? "while pressed, start" : "toggle";
        else if (s.flag == 0 && d_.event == "release" && partnerStarts(static_cast<uint8_t>(d_.index - 1), s, 1))
            mode = "while pressed, stop";
        else
            mode = "normal";
        field("program", static_cast<int64_t>(s.program));
        field("mode", mode);
        std::string text = mode;
        if (mode == "normal") {
            field("count", static_cast<int64_t>(s.count));
            text += s.count == kUntilStopped ? ", until stopped"
                    : s.count == 1           ? ", once"
                                             : ", " + std::to_string(s.count) + " times";
        }
        if (s.repeater == 0) {
            if (mode == "normal") {
                field("interruptible", s.flag == 1);
                text += s.flag == 1 ? ", interruptible" : "";
            }
            field("pause", static_cast<int64_t>(s.from));
            set("macro", "runs the macro of program " + std::to_string(s.program) + ", " + text + ", pause " +
                             std::to_string(s.from) + " between runs");
        } else {
            field("repeater", static_cast<int64_t>(s.repeater));
            field("pause_from", static_cast<int64_t>(s.from));
            field("pause_to", static_cast<int64_t>(s.to));
            const std::string sends = strokeOf(programAt(s.program));
            if (!sends.empty())
                field("sends", sends);
            set("key repeater", "repeater " + std::to_string(s.repeater) + " sends " +
                                    (sends.empty() ? "program " + std::to_string(s.program) : sends) + " (program " +
                                    std::to_string(s.program) + "), " + text + ", pause " + std::to_string(s.from) +
                                    ".." + std::to_string(s.to));
        }
        return true;
    }

    // What a key-repeater stroke sends: "leftcontrol+a", "left button"; "" for anything else.
    static std::string strokeOf(std::vector<In> code)
    {
        uint8_t modifiers = 0;
        if (code.size() == 4 && code.front().op == OPCODE_KEY_MODIFIER_SET && code.back().op == OPCODE_KEY_MODIFIER_CLR) {
            modifiers = code.front().a[0];
            code = {code[1], code[2]};
        }
        if (code.size() != 2 || code[0].a != code[1].a)
            return "";
        if (code[0].op == OPCODE_KEY_PRESS && code[1].op == OPCODE_KEY_RELEASE)
            return withModifiers(modifiers, keyName(code[0].a[0]));
        if (!modifiers && code[0].op == OPCODE_MOUSE_PRESS && code[1].op == OPCODE_MOUSE_RELEASE)
            return buttonNames(code[0].a[0]) + " button";
        return "";
    }

    // A shared program, by the programs that start it.
    bool shared(uint8_t index, const std::vector<In>& code)
    {
        std::vector<std::string> startedBy;
        bool macro = false, repeater = false;
        for (const ProgramRecord& r : image_.programs) {
            std::vector<In> other;
            if (!decode(r.code, other))
                continue;
            for (const In& in : other) {
                if (isStart(in) && startOf(in).program == index) {
                    (startOf(in).repeater == 0 ? macro : repeater) = true;
                    startedBy.push_back(std::to_string(r.index));
                    break;
                }
            }
        }
        std::string by = startedBy.empty() ? "started by no program" : "started by program";
        for (size_t i = 0; i < startedBy.size(); ++i)
            by += (i ? ", " : " ") + startedBy[i];
        const std::string sends = strokeOf(code);
        if (repeater && !macro && !sends.empty()) {
            field("sends", sends);
            set("key repeater stroke", "sends " + sends + ", " + by);
            return true;
        }
        if (repeater && macro)
            return false;
        // A macro body: its steps, counted.
        size_t keys = 0, buttons = 0, scrolls = 0;
        int64_t delay = 0;
        for (const In& in : code) {
            keys += in.op == OPCODE_KEY_PRESS || in.op == OPCODE_KEY_MODIFIER_SET;
            buttons += in.op == OPCODE_MOUSE_PRESS;
            scrolls += in.op == OPCODE_MOUSE_SCROLL;
            delay += in.op == OPCODE_DELAY ? in.u16(0) : 0;
        }
        field("steps", static_cast<int64_t>(code.size()));
        field("delay", delay);
        set("macro body", std::to_string(code.size()) + " steps (" + std::to_string(keys) + " key presses, " +
                              std::to_string(buttons) + " button presses, " + std::to_string(scrolls) +
                              " scrolls, " + std::to_string(delay) + " delay in all), " + by);
        return true;
    }

    const ProfileImage& image_;
    std::map<uint8_t, size_t> last_;  // record the mouse keeps for each index
    BindingDescription d_;
};

} // namespace

std::vector<BindingDescription> describeBindings(const ProfileImage& image)
{
    Describer describer(image);
    std::vector<BindingDescription> out;
    for (size_t i = 0; i < image.programs.size(); ++i)
        out.push_back(describer.describe(i));
    return out;
}

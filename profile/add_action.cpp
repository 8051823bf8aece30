// Key-binding compiler.
//
// Program slots: a physical button b (0..22) owns the press program 2b and the
// release program 2b + 1; the further inputs 48..57 use their own number as
// press index, and only 50, 52, 54 and 56 have a release program at p + 1.
// Macro bodies and key-repeater strokes take the shared index
// next_macro_program (65..80); a binding that needs one when all 16 are
// taken is refused.
//
// A binding's programs are assembled first and go into the image together,
// only when every one of them fitted in its program buffer.
#include "profile/add_action.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "profile/rapidjson_dom.h"

#include "profile/action_params.h"
#include "profile/action_programs.h"
#include "profile/compile_notes.h"
#include "profile/json_fields.h"
#include "profile/json_parse.h"
#include "profile/pfg_log.h"
#include "profile/pfg_state.h"
#include "zentrova/profile/key_tables.h"

namespace {

constexpr uint8_t kNoButton = 0xFF;
constexpr size_t kMaxNamePart = 63;
constexpr int32_t kNoMacro = -1;
constexpr int32_t kRepeatUntilStopped = 65535;
constexpr uint32_t kUnityMouse0 = 323;
constexpr uint32_t kUnityMouseButtons = 7;
constexpr uint32_t kMouseButtonFlag = 0x100;

using Severity = zentrova::Diagnostic::Severity;

void noteDataError(const std::string& message) { pfg_note(Severity::Error, pfg_binding_pointer("action_data"), message); }

// A value of action_data that would not reach the mouse as written.
void noteDataRange(const char* member, int64_t value, int64_t high)
{
    pfg_note_range(pfg_binding_pointer("action_data"), std::string("\"") + member + "\"", value, 0, high,
                   value & high);
}

// The binding's trigger needs a release program that an unpaired input lacks.
void noteNoTrigger(const char* kind, unsigned press)
{
    noteDataError(std::string("a while-pressed ") + kind + " on input " + std::to_string(press) +
                  " gets no trigger (the input has no release program); it never runs");
}

struct Slots {
    unsigned press;  // p
    bool paired;     // has a release program at p + 1
};

Slots slotsOf(uint8_t b)
{
    if (b >= 48 && b <= 57)
        return {b, b == 50 || b == 52 || b == 54 || b == 56};
    return {static_cast<unsigned>((2u * b) & 0xFFu), true};
}

bool isModifierCode(uint8_t h) { return h >= 0xE0 && h <= 0xE7; }

bool isNone(std::string_view text) { return text.empty() || text == "None" || text == "none"; }

uint8_t hidByName(const std::string& name)
{
    return static_cast<uint8_t>(get_hid_scan_code_by_unity_description(name.c_str()) & 0xFF);
}

uint8_t hidByUnityCode(int32_t code) { return static_cast<uint8_t>(pccode_to_hidcode(code) & 0xFF); }

void logKeyNotFound(const std::string& name)
{
    pfg_hint_nearest(name, keyTableNames());
    pfg_log_line("%-16s find key with description '%s' failed\n", PFG_TAG_ERROR, name.c_str());
}

// Strips blanks and tabs at both ends and keeps at most 63 characters.
std::string cleanPart(std::string_view part)
{
    const auto first = part.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = part.find_last_not_of(" \t");
    return std::string(part.substr(first, last - first + 1).substr(0, kMaxNamePart));
}

// "modifier + name": the modifier is what precedes the first "+", the name
// what follows the last one. Stages action_params.modifier and returns the
// name part.
std::string splitAndStageModifier(std::string_view text)
{
    const std::string modifierPart = cleanPart(text.substr(0, text.find('+')));
    const std::string namePart = cleanPart(text.substr(text.rfind('+') + 1));
    if (!isNone(modifierPart)) {
        const uint8_t h = hidByName(modifierPart);
        if (h == kNoKey)
            logKeyNotFound(modifierPart);
        else if (isModifierCode(h))
            action_params.modifier = h;
        else if (pfg_noting())
            pfg_note(Severity::Warning, pfg_binding_pointer("action_data"),
                     "\"" + modifierPart + "\" is no modifier key; the binding has no modifier");
    }
    if (pfg_noting() && text.find('+') != text.rfind('+'))
        pfg_note(Severity::Warning, pfg_binding_pointer("action_data"),
                 "only one modifier is taken: \"" +
                     cleanPart(text.substr(text.find('+') + 1, text.rfind('+') - text.find('+') - 1)) +
                     "\" between the first and the last \"+\" is ignored");
    return namePart;
}

void logRefused(const char* kind, unsigned press, const std::string& why)
{
    pfg_log_line("%-16s %s binding for mouse event %u refused: %s\n", PFG_TAG_ERROR, kind, press, why.c_str());
}

// The programs of the binding under compilation.
std::vector<AssembledProgram> g_pending;

void write(unsigned index, action_program_t program) { g_pending.push_back(assemble_program(index, program)); }

// The first pending program that did not fit, or null.
const AssembledProgram* unfinishedProgram()
{
    for (const AssembledProgram& p : g_pending)
        if (!p.complete)
            return &p;
    return nullptr;
}

// Refuses the binding when one of its programs did not fit: logs why and
// drops them all.
bool programsFit(const char* kind, unsigned press)
{
    const AssembledProgram* cut = unfinishedProgram();
    if (cut == nullptr)
        return true;
    logRefused(kind, press,
               "program " + std::to_string(cut->index) + " needs " + std::to_string(cut->needed) +
                   " bytes, more than the " + std::to_string(kProgramBufferSize) + " a program holds");
    g_pending.clear();
    return false;
}

// Whether a shared program is left; refuses the binding when none is.
bool sharedProgramLeft(const char* kind, unsigned press)
{
    if (pfg_state.next_macro_program <= kLastSharedProgram)
        return true;
    logRefused(kind, press,
               "all " + std::to_string(kLastSharedProgram - kFirstSharedProgram + 1) + " shared programs (" +
                   std::to_string(kFirstSharedProgram) + ".." + std::to_string(kLastSharedProgram) +
                   ") are taken");
    return false;
}

void advanceSharedProgram() { ++pfg_state.next_macro_program; }

void advanceRepeaterSlot()
{
    uint32_t& slot = action_params.repeater_slot;
    slot = slot >= kLastRepeaterSlot ? kFirstRepeaterSlot : slot + 1;
}

// --- type 1: mouse and DPI functions --------------------------------------

struct MouseFunction {
    const char* name;
    action_program_t press;    // at p on a paired input
    action_program_t release;  // at p + 1 on a paired input, or null
    action_program_t single;   // at p on an unpaired input
};

const MouseFunction kMouseFunctions[] = {
    {"Left Click", actions::left_click_down, actions::left_click_up, actions::left_click},
    {"Right Click", actions::right_click_down, actions::right_click_up, actions::right_click},
    {"Scroll Click", actions::scroll_click_down, actions::scroll_click_up, actions::scroll_click},
    {"Left Double Click", actions::left_double_click, nullptr, actions::left_double_click},
    {"Scroll Up", actions::scroll_up, nullptr, actions::scroll_up},
    {"Scroll Down", actions::scroll_down, nullptr, actions::scroll_down},
    {"Mouse Button 4", actions::mouse_button_4, nullptr, actions::mouse_button_4},
    {"Mouse Button 5", actions::mouse_button_5, nullptr, actions::mouse_button_5},
    {"DPI Cycle", actions::dpi_cycle, nullptr, actions::dpi_cycle},
    {"DPI Up", actions::dpi_up, nullptr, actions::dpi_up},
    {"DPI Down", actions::dpi_down, nullptr, actions::dpi_down},
};

void addMouseFunction(Slots slots, const char* text)
{
    action_params.modifier = kNoKey;
    if (text == nullptr || isNone(text))
        return;
    const bool withModifier = std::strchr(text, '+') != nullptr;
    const std::string name = withModifier ? splitAndStageModifier(text) : std::string(text);
    if (isNone(name))
        return;
    for (const MouseFunction& f : kMouseFunctions) {
        if (name != f.name)
            continue;
        if (!slots.paired) {
            write(slots.press, f.single);
        } else {
            write(slots.press, f.press);
            if (f.release != nullptr)
                write(slots.press + 1, f.release);
        }
        return;
    }
    if (pfg_noting()) {
        std::vector<std::string> names;
        for (const MouseFunction& f : kMouseFunctions)
            names.emplace_back(f.name);
        const std::string nearest = nearestNames(name, names);
        noteDataError("\"" + name + "\" is no mouse function; the binding is left out" +
                      (nearest.empty() ? "" : "; did you mean " + nearest + "?"));
    }
}

// --- type 2: keyboard keys ------------------------------------------------

void addKey(Slots slots, const char* text)
{
    action_params_t& a = action_params;
    a.modifier = kNoKey;
    a.key = kNoKey;
    if (text == nullptr || isNone(text))
        return;
    const bool withModifier = std::strchr(text, '+') != nullptr;
    const std::string name = withModifier ? splitAndStageModifier(text) : std::string(text);
    if (!withModifier || !isNone(name)) {
        const uint8_t h = hidByName(name);
        if (h == kNoKey)
            logKeyNotFound(name);
        else
            a.key = h;
    }
    if (a.key == kNoKey && a.modifier == kNoKey)
        return;
    if (slots.paired) {
        write(slots.press, actions::key_down);
        write(slots.press + 1, actions::key_up);
    } else {
        write(slots.press, actions::key_stroke);
    }
}

// --- types 3 to 5: JSON objects -------------------------------------------

// Reads the members of a binding's JSON object in order; the first one that
// is missing or of the wrong type is logged and refuses the binding.
class BindingObject {
public:
    BindingObject(const char* kind, unsigned press, const char* text) : kind_(kind), press_(press)
    {
        if (text == nullptr || parseJson(doc_, text).IsError() || !doc_.IsObject())
            refuse("action_data is not a JSON object");
    }

    bool ok() const { return ok_; }
    const rapidjson::Value& object() const { return doc_; }

    BindingObject& readInt(const char* name, int32_t& out)
    {
        if (ok_ && !json_fields::getInt(doc_, name, out))
            refuseMember(name, "an int");
        return *this;
    }

    BindingObject& readBool(const char* name, bool& out)
    {
        if (ok_ && !json_fields::getBool(doc_, name, out))
            refuseMember(name, "a bool");
        return *this;
    }

private:
    void refuseMember(const char* name, const char* type)
    {
        refuse(std::string("member \"") + name + "\" is missing or not " + type);
    }

    void refuse(const std::string& why)
    {
        ok_ = false;
        logRefused(kind_, press_, why);
    }

    // A binding's object is a few hundred bytes: its values go to a buffer
    // here, not to the 64 KiB block a document allocates by default.
    char values_[2048];
    rapidjson::MemoryPoolAllocator<> allocator_{values_, sizeof values_};
    rapidjson::Document doc_{&allocator_};
    const char* kind_;
    unsigned press_;
    bool ok_ = true;
};

// The block of lines that a bound macro leaves in the log, in one write.
void logMacroBlock(unsigned press)
{
    const action_params_t& a = action_params;
    pfg_log_write("%-16s bind macro to mouse event %u\n"
                  "%-16s macro_id=%d\n"
                  "%-16s macro mode? %s\n"
                  "%-16s constant_type? %s\n"
                  "%-16s repeat count=%d\n"
                  "%-16s interrupt=%d\n"
                  "%-16s macro player delay: %d\n"
                  "%-16s macro total delay: %d\n"
                  "\n",
                  PFG_TAG_MACRO, press, PFG_TAG_MACRO, a.macro_id, PFG_TAG_MACRO,
                  a.macro_mode ? "Repeat Macro constanty" : "Normal macro", PFG_TAG_MACRO,
                  a.constant_type ? "Toggle" : "while pressed", PFG_TAG_MACRO, a.repeat_times, PFG_TAG_MACRO,
                  a.interruptible ? 1 : 0, PFG_TAG_MACRO, a.delay_from, PFG_TAG_MACRO, a.macro_total_delay);
    pfg_log_flush();
}

// What the macro binding under compilation would do otherwise than written.
void noteMacro(Slots slots, int32_t macroId, int32_t delayFrom)
{
    const action_params_t& a = action_params;
    const std::vector<size_t>* found = pfg_find_macros(macroId);
    if (found == nullptr) {
        noteDataError("\"macro_id\" " + std::to_string(macroId) + " names no macro of the profile; the binding runs "
                      "an empty macro");
        return;
    }
    if (!a.macro_mode)
        noteDataRange("repeat_times", a.repeat_times, 0xFFFF);
    else if (!a.constant_type && !slots.paired)
        noteNoTrigger("macro", slots.press);
    // The trigger pauses for the sum of the step delays plus the player
    // delay of every macro of that id, in 16 bits.
    int64_t total = 0;
    for (const size_t at : *found) {
        for (const ST_MACRO_DATA& step : pfg_state.macros[at].steps)
            total += step.type == 3 ? step.duration : 0;
        total += delayFrom;
    }
    if (total < 0 || total > 0xFFFF)
        noteDataError("the total delay of macro " + std::to_string(macroId) + ", " + std::to_string(total) +
                      ", is outside 0..65535; the mouse would pause " + std::to_string(total & 0xFFFF));
}

void addMacro(Slots slots, const char* text)
{
    int32_t macroId = 0, repeatTimes = 0, delayFrom = 0, delayTo = 0;
    bool macroMode = false, constantType = false, interruptible = false;
    BindingObject in("macro", slots.press, text);
    in.readInt("macro_id", macroId)
        .readBool("macro_mode", macroMode)
        .readBool("constant_type", constantType)
        .readInt("repeat_times", repeatTimes)
        .readInt("delay_from", delayFrom)
        .readInt("delay_to", delayTo)
        .readBool("interruptible", interruptible);
    if (!in.ok())
        return;
    if (pfg_noting())
        pfg_note_unread(in.object(), pfg_binding_pointer("action_data"),
                        {"macro_id", "macro_mode", "constant_type", "repeat_times", "delay_from", "delay_to",
                         "interruptible"},
                        "action_data");

    action_params_t& a = action_params;
    a.macro_id = macroId;
    a.macro_mode = macroMode;
    a.constant_type = constantType;
    a.repeat_times = repeatTimes;
    a.delay_from = delayFrom;
    a.interruptible = interruptible;
    a.macro_total_delay = 0;
    if (macroId == kNoMacro || !sharedProgramLeft("macro", slots.press))
        return;

    write(pfg_state.next_macro_program, actions::macro_body);
    if (!g_pending.back().complete) {
        const std::vector<size_t>* found = pfg_find_macros(macroId);
        const char* name = found != nullptr ? pfg_state.macros[found->front()].macro_name : "";
        logRefused("macro", slots.press,
                   "macro " + std::to_string(macroId) + " '" + name + "' needs " +
                       std::to_string(g_pending.back().needed) + " bytes, more than the " +
                       std::to_string(kProgramBufferSize) + " a program holds");
        g_pending.clear();
        return;
    }
    logMacroBlock(slots.press);
    if (pfg_noting())
        noteMacro(slots, macroId, delayFrom);
    if (!a.macro_mode) {
        write(slots.press, actions::macro_normal);
    } else {
        a.repeat_times = kRepeatUntilStopped;
        if (a.constant_type) {
            write(slots.press, actions::macro_toggle);
        } else if (slots.paired) {
            // While pressed: started by the press, stopped by the release.
            // An unpaired input has no release program of its own, so such a
            // binding gets no trigger there (p + 1 is the next input's press).
            write(slots.press, actions::macro_hold_start);
            write(slots.press + 1, actions::macro_hold_stop);
        }
    }
    if (programsFit("macro", slots.press))
        advanceSharedProgram();
}

// The block of lines that a bound key repeater leaves in the log, in one write.
void logRepeaterBlock(unsigned press)
{
    const action_params_t& a = action_params;
    pfg_log_write("%-16s bind following key repeater(code=%d) to mouse event %u\n"
                  "%-16s repeat count=%d, repeat mode? %s, repeat constantly type ? %s\n"
                  "%-16s delay_from = %d, delay_to = %d\n"
                  "\n",
                  PFG_TAG_KEY_REPEATER, static_cast<int>(a.repeater_key), press, PFG_TAG_KEY_REPEATER,
                  a.repeater_times, a.key_repeater_mode ? "constantly" : "normal",
                  a.key_repeater_constant_type ? "toggle" : "While pressed", PFG_TAG_KEY_REPEATER,
                  a.repeater_delay_from, a.repeater_delay_to);
    pfg_log_flush();
}

void addKeyRepeater(Slots slots, const char* text)
{
    int32_t keyCode = 0;
    BindingObject in("key repeater", slots.press, text);
    in.readInt("key_code", keyCode);
    if (!in.ok() || keyCode == 0)
        return;

    uint32_t repeaterKey = 0;
    uint32_t repeaterModifier = kNoKey;
    const uint32_t mouseButton = static_cast<uint32_t>(keyCode) - kUnityMouse0;
    if (mouseButton < kUnityMouseButtons) {
        repeaterKey = kMouseButtonFlag | (1u << mouseButton);
    } else {
        repeaterKey = hidByUnityCode(keyCode);
        if (repeaterKey == kNoKey) {
            pfg_log_line("%-16s key repeater key lookup failed pc_code=%d\n", PFG_TAG_ERROR, keyCode);
            return;
        }
        int32_t modifierCode = 0;
        if (json_fields::getInt(in.object(), "modifier_code", modifierCode) && modifierCode != 0) {
            const uint8_t h = hidByUnityCode(modifierCode);
            if (isModifierCode(h))
                repeaterModifier = h;
            else if (pfg_noting())
                pfg_note(Severity::Warning, pfg_binding_pointer("action_data"),
                         "\"modifier_code\" " + std::to_string(modifierCode) +
                             " is no modifier key; the repeater sends no modifier");
        }
    }

    int32_t times = 0, delayFrom = 0, delayTo = 0;
    bool delayType = false, mode = false, constantType = false, interruptible = false;
    in.readInt("repeat_times", times)
        .readInt("delay_from", delayFrom)
        .readInt("delay_to", delayTo)
        .readBool("delay_type", delayType)
        .readBool("key_repeater_mode", mode)
        .readBool("key_repeater_constant_type", constantType)
        .readBool("interruptible", interruptible);
    if (!in.ok() || !sharedProgramLeft("key repeater", slots.press))
        return;
    if (pfg_noting()) {
        pfg_note_unread(in.object(), pfg_binding_pointer("action_data"),
                        {"key_code", "modifier_code", "repeat_times", "delay_from", "delay_to", "delay_type",
                         "key_repeater_mode", "key_repeater_constant_type", "interruptible"},
                        "action_data");
        if (!mode)
            noteDataRange("repeat_times", times, 0xFFFF);
        noteDataRange("delay_from", delayFrom, 0xFFFF);
        if (!delayType)
            noteDataRange("delay_to", delayTo, 0xFFFF);
        if (mode && !slots.paired)
            noteNoTrigger("key repeater", slots.press);
    }

    action_params_t& a = action_params;
    a.repeater_key = repeaterKey;
    a.repeater_modifier = repeaterModifier;
    a.repeater_times = times;
    a.repeater_delay_from = delayFrom;
    a.repeater_delay_to = delayType ? delayFrom : delayTo;
    a.delay_type = delayType;
    a.key_repeater_mode = mode;
    a.key_repeater_constant_type = constantType;

    logRepeaterBlock(slots.press);
    write(pfg_state.next_macro_program, actions::repeater_stroke);
    if (!a.key_repeater_mode) {
        write(slots.press, actions::repeater_normal);
    } else if (slots.paired && a.key_repeater_constant_type) {
        write(slots.press, actions::repeater_toggle);
    } else if (slots.paired) {
        write(slots.press, actions::repeater_hold_start);
        write(slots.press + 1, actions::repeater_hold_stop);
    }
    if (!programsFit("key repeater", slots.press))
        return;
    advanceSharedProgram();
    advanceRepeaterSlot();
}

enum : int32_t { kProfileOnPress = 0, kJoystick = 1, kProfileOnRelease = 2, kProfilePair = 3 };

// A profile or joystick binding that writes less than it says.
void noteProfileOrJoystick(Slots slots, const rapidjson::Value& object, int32_t type, int32_t data, int32_t data2)
{
    pfg_note_unread(object, pfg_binding_pointer("action_data"), {"type", "data", "data2"}, "action_data");
    const std::string input = std::to_string(slots.press);
    const auto profileNumber = [](const char* member, int32_t value) {
        if (value >= 1)
            noteDataRange(member, value, 0xFF);
        else
            noteDataError(std::string("profile switch to \"") + member + "\" " + std::to_string(value) +
                          ": profiles are numbered from 1; nothing is written for it");
    };
    switch (type) {
    case kProfileOnPress:
    case kProfileOnRelease:
        if (!slots.paired)
            noteDataError("a profile switch on input " + input + " writes nothing (the input has no release program)");
        else
            profileNumber("data", data);
        break;
    case kJoystick:
        if (data != 0 && data != 1)
            noteDataError("joystick \"data\" " + std::to_string(data) +
                          " is neither 0 (on while pressed) nor 1 (toggle); nothing is written");
        else if (data == 0 && !slots.paired)
            noteNoTrigger("joystick", slots.press);
        break;
    case kProfilePair:
        if (!slots.paired) {
            noteDataError("a profile switch on input " + input + " writes nothing (the input has no release program)");
        } else if (data < 1 && data2 < 1) {
            noteDataError("profile switch to \"data\" " + std::to_string(data) + " and \"data2\" " +
                          std::to_string(data2) + ": profiles are numbered from 1; nothing is written");
        } else {
            if (data >= 1)
                noteDataRange("data", data, 0xFF);
            if (data2 >= 1)
                noteDataRange("data2", data2, 0xFF);
        }
        break;
    default:
        noteDataError("\"type\" " + std::to_string(type) +
                      " is none of 0 (profile on press), 1 (joystick), 2 (profile on release), 3 (profile on press "
                      "and release); the binding is left out");
        break;
    }
}

void addProfileOrJoystick(Slots slots, const char* text)
{
    int32_t type = 0, data = 0, data2 = 0;
    BindingObject in("profile or joystick", slots.press, text);
    in.readInt("type", type).readInt("data", data).readInt("data2", data2);
    if (!in.ok())
        return;
    action_params.profile_data = data;
    action_params.profile_data2 = data2;
    if (pfg_noting())
        noteProfileOrJoystick(slots, in.object(), type, data, data2);

    switch (type) {
    case kProfileOnPress:
        if (data > 0 && slots.paired)
            write(slots.press, actions::profile_on_press);
        break;
    case kJoystick:
        if (data == 0 && slots.paired) {
            // Hold: on while pressed. Unpaired inputs have no release slot.
            write(slots.press, actions::joystick_hold_on);
            write(slots.press + 1, actions::joystick_hold_off);
        } else if (data == 1) {
            write(slots.press, actions::joystick_toggle);
        }
        break;
    case kProfileOnRelease:
        if (data >= 1 && slots.paired)
            write(slots.press + 1, actions::profile_on_release);
        break;
    case kProfilePair:
        if (slots.paired) {
            if (data > 0)
                write(slots.press, actions::profile_pair_press);
            if (data2 >= 1)
                write(slots.press + 1, actions::profile_pair_release);
        }
        break;
    default:
        break;
    }
}

const char* kindName(int actionType)
{
    switch (actionType) {
    case kActionMouseFunction:
        return "mouse function";
    case kActionKey:
        return "key";
    case kActionMacro:
        return "macro";
    case kActionKeyRepeater:
        return "key repeater";
    default:
        return "profile or joystick";
    }
}

// Appends the binding's programs when every one fitted; refuses it otherwise.
void commitBinding(int actionType, unsigned press)
{
    if (programsFit(kindName(actionType), press))
        for (const AssembledProgram& p : g_pending)
            append_program(p);
    g_pending.clear();
}

} // namespace

void add_action(int key_code, int action_type, const char* action_data)
{
    g_pending.clear();
    const uint8_t b = static_cast<uint8_t>(convert_unity_button_to_fw_button_index(key_code) & 0xFF);
    if (b == kNoButton) {
        pfg_log_line("%-16s find button index with unity mouse button index failed, unity button index = %d\n",
                     PFG_TAG_ERROR, key_code);
        return;
    }
    if (static_cast<unsigned>(action_type) > kActionProfileOrJoystick || action_type == kActionNone) {
        if (action_type != kActionNone && pfg_noting())
            pfg_note(Severity::Error, pfg_binding_pointer("action_type"),
                     "\"action_type\" " + std::to_string(action_type) +
                         " is none of 0 (none), 1 (mouse function), 2 (key), 3 (macro), 4 (key repeater), 5 "
                         "(profile or joystick); the binding is left out");
        return;
    }

    const Slots slots = slotsOf(b);
    switch (action_type) {
    case kActionMouseFunction:
        addMouseFunction(slots, action_data);
        break;
    case kActionKey:
        addKey(slots, action_data);
        break;
    case kActionMacro:
        addMacro(slots, action_data);
        break;
    case kActionKeyRepeater:
        addKeyRepeater(slots, action_data);
        break;
    case kActionProfileOrJoystick:
        addProfileOrJoystick(slots, action_data);
        break;
    default:
        break;
    }
    commitBinding(action_type, slots.press);
}

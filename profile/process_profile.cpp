// Profile JSON reader.
//
// The document is read in two steps. The first walks everything that the
// selected hand entries and profiles require and copies it into plain records,
// failing on the first departure from the schema; it changes no state. Only
// when the whole document passed does the second step print the progress
// lines, set the generator state and hand the bindings to the compiler, so a
// broken document leaves neither half a profile in the image nor half its
// DPI values in the state carried to the next generation.
#include "profile/process_profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "profile/rapidjson_dom.h"

#include "profile/add_action.h"
#include "profile/compile_notes.h"
#include "profile/json_fields.h"
#include "profile/json_parse.h"
#include "profile/pfg_log.h"
#include "profile/pfg_state.h"
#include "zentrova/profile/key_tables.h"
#include "util/file_handle.h"

namespace {

using rapidjson::Value;
using Severity = zentrova::Diagnostic::Severity;

constexpr size_t kDpiLevels = 6;
constexpr size_t kMacroNameField = sizeof(ST_MACRO::macro_name);

// Firmware button indices in the order their bindings are compiled.
constexpr uint8_t kPassButtons[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,
                                    16, 17, 18, 19, 20, 21, 22, 48, 49, 50, 51, 52, 53, 54, 55, 56};

// Position of button b in the pass order, or -1 when its bindings are never compiled.
int passOf(uint8_t b)
{
    const auto* end = std::end(kPassButtons);
    const auto* it = std::find(std::begin(kPassButtons), end, b);
    return it == end ? -1 : static_cast<int>(it - std::begin(kPassButtons));
}

struct Binding {
    int32_t key_code;
    int32_t action_type;
    const char* action_data;  // points into the parsed document
    int pass;
    long index;               // in "_key_data"
};

struct Profile {
    uint16_t dpi_table[kDpiLevels];
    uint16_t freeform_dpi;
    int32_t mode;
    uint16_t deadzone;  // meaningful for mode 0
    bool joystick_center_mode;
    std::vector<ST_MACRO> macros;
    std::vector<Binding> bindings;  // in compilation order
    long index;                     // in the hand entry's "profiles"
};

struct HandEntry {
    std::vector<Profile> profiles;
    long index;                     // in "testData"
};

// A place in the document, as the log names it ("testData[2].profiles") and
// as a JSON pointer ("/testData/2/profiles"). Made of links to the enclosing
// place, which lives on the reader's stack, and spelt out only for an error.
class Path {
public:
    Path(const char* text, const char* pointer) : rootText_(text), rootPointer_(pointer) {}
    Path(const Path& parent, const char* name) : parent_(&parent), name_(name) {}
    Path(const Path& parent, size_t index) : parent_(&parent), index_(index) {}

    std::string text() const
    {
        if (parent_ == nullptr)
            return rootText_;
        return parent_->text() + (name_ ? std::string(".") + name_ : "[" + std::to_string(index_) + "]");
    }
    std::string pointer() const
    {
        if (parent_ == nullptr)
            return rootPointer_;
        return parent_->pointer() + "/" + (name_ ? std::string(name_) : std::to_string(index_));
    }

private:
    const Path* parent_ = nullptr;
    const char* name_ = nullptr;
    size_t index_ = 0;
    const char* rootText_ = nullptr;
    const char* rootPointer_ = nullptr;
};

// A departure from the schema: where it is and what is wrong there.
struct SchemaError {
    std::string where;    // as the log names it
    std::string pointer;  // JSON pointer
    std::string what;
};

Path indexed(const Path& path, size_t i) { return Path(path, i); }
Path member(const Path& path, const char* name) { return Path(path, name); }

[[noreturn]] void fail(const Path& where, const char* what) { throw SchemaError{where.text(), where.pointer(), what}; }

const Value& require(const Value& object, const Path& path, const char* name)
{
    const Value* v = json_fields::find(object, name);
    if (v == nullptr)
        fail(member(path, name), "is missing");
    return *v;
}

int32_t requireInt(const Value& object, const Path& path, const char* name)
{
    int32_t v = 0;
    if (!json_fields::getInt(object, name, v))
        fail(member(path, name), "is missing or not an int");
    return v;
}

uint32_t requireUint(const Value& object, const Path& path, const char* name)
{
    uint32_t v = 0;
    if (!json_fields::getUint(object, name, v))
        fail(member(path, name), "is missing or not an unsigned int");
    return v;
}

bool requireBool(const Value& object, const Path& path, const char* name)
{
    bool v = false;
    if (!json_fields::getBool(object, name, v))
        fail(member(path, name), "is missing or not a bool");
    return v;
}

const Value& requireString(const Value& object, const Path& path, const char* name)
{
    const Value& v = require(object, path, name);
    if (!v.IsString())
        fail(member(path, name), "is not a string");
    return v;
}

const Value& requireArray(const Value& object, const Path& path, const char* name)
{
    const Value& v = require(object, path, name);
    if (!v.IsArray())
        fail(member(path, name), "is not an array");
    return v;
}

const Value& requireObject(const Value& object, const Path& path, const char* name)
{
    const Value& v = require(object, path, name);
    if (!v.IsObject())
        fail(member(path, name), "is not an object");
    return v;
}

const Value& elementObject(const Value& array, size_t i, const Path& path)
{
    const Value& v = array[static_cast<rapidjson::SizeType>(i)];
    if (!v.IsObject())
        fail(indexed(path, i), "is not an object");
    return v;
}

// Levels in use and a freeform setting whose value would not reach the
// mouse as written.
void noteDpi(const Value& dpi, const std::string& at, const int32_t (&written)[kDpiLevels], int32_t freeform,
             const bool (&on)[kDpiLevels])
{
    for (size_t i = 0; i < kDpiLevels; ++i) {
        if (!on[i])
            continue;  // stored as 0 whatever it holds
        const std::string pointer = at + "/dpi" + std::to_string(i);
        const std::string what = "DPI level " + std::to_string(i) + " of";
        if (pfg_note_range(pointer, what, written[i], 0, 0xFFFF, static_cast<uint16_t>(written[i])) && written[i] == 0)
            pfg_note(Severity::Warning, pointer,
                     "DPI level " + std::to_string(i) + " is on with 0 DPI; the mouse takes 0 for a level that is off");
    }
    const std::string pointer = at + "/freeform_dpi";
    const int64_t dpiValue = freeform_dpi_unwrapped(freeform);
    const std::string setting = "\"freeform_dpi\" " + std::to_string(freeform);
    if (dpiValue < 0 || dpiValue > 0xFFFF)
        pfg_note(Severity::Error, pointer,
                 setting + " gives " + std::to_string(dpiValue) + " DPI, outside 0..65535; the mouse would get " +
                     std::to_string(freeform_dpi_from_setting(freeform)));
    pfg_note_unread(dpi, at,
                    {"dpi0", "dpi1", "dpi2", "dpi3", "dpi4", "dpi5", "freeform_dpi", "dpi0_ison", "dpi1_ison",
                     "dpi2_ison", "dpi3_ison", "dpi4_ison", "dpi5_ison"});
}

void readDpi(const Value& profile, const Path& path, Profile& out)
{
    const Value& dpi = requireObject(profile, path, "_dpi_data");
    const Path at = member(path, "_dpi_data");
    static const char* const kLevels[kDpiLevels] = {"dpi0", "dpi1", "dpi2", "dpi3", "dpi4", "dpi5"};
    static const char* const kOn[kDpiLevels] = {"dpi0_ison", "dpi1_ison", "dpi2_ison",
                                                "dpi3_ison", "dpi4_ison", "dpi5_ison"};
    int32_t written[kDpiLevels];
    for (size_t i = 0; i < kDpiLevels; ++i) {
        written[i] = requireInt(dpi, at, kLevels[i]);
        out.dpi_table[i] = static_cast<uint16_t>(static_cast<uint32_t>(written[i]) & 0xFFFFu);
    }
    const int32_t freeform = requireInt(dpi, at, "freeform_dpi");
    out.freeform_dpi = freeform_dpi_from_setting(freeform);
    bool on[kDpiLevels];
    for (size_t i = 0; i < kDpiLevels; ++i)
        on[i] = requireBool(dpi, at, kOn[i]);
    if (pfg_noting())
        noteDpi(dpi, at.pointer(), written, freeform, on);
    for (size_t i = 0; i < kDpiLevels; ++i)
        if (!on[i])
            out.dpi_table[i] = 0;
}

void noteDeadZone(const std::string& pointer, uint32_t setting, uint16_t stored)
{
    if (!pfg_noting() || (setting >= 1 && setting <= 100))
        return;
    if (pfg_note_range(pointer, "\"dead_zone\"", setting, 0, 0xFFFF, stored))
        pfg_note(Severity::Warning, pointer,
                 "\"dead_zone\" " + std::to_string(setting) + " is outside 1..100; the mouse gets the dead zone of 1 (" +
                     std::to_string(stored) + ")");
}

void readControl(const Value& profile, const Path& path, Profile& out)
{
    const Value& control = requireObject(profile, path, "_control_data");
    const Path at = member(path, "_control_data");
    out.mode = requireInt(control, at, "mode");
    out.deadzone = 0;
    if (out.mode == 0) {
        const uint32_t setting = requireUint(control, at, "dead_zone");
        out.deadzone = deadzone_from_setting(setting);
        noteDeadZone(at.pointer() + "/dead_zone", setting, out.deadzone);
    }
    out.joystick_center_mode = requireBool(control, at, "freeform_center_joystick_mode");
    if (!pfg_noting())
        return;
    if (out.mode != 0 && out.mode != 1)
        pfg_note(Severity::Warning, at.pointer() + "/mode",
                 "\"mode\" " + std::to_string(out.mode) + " is neither 0 (dead zone from \"dead_zone\") nor 1 (no dead "
                 "zone); the dead zone is left as it was");
    if (out.mode != 0 && json_fields::find(control, "dead_zone") != nullptr)
        pfg_note(Severity::Info, at.pointer() + "/dead_zone", "\"dead_zone\" is read only when \"mode\" is 0");
    pfg_note_unread(control, at.pointer(), {"mode", "dead_zone", "freeform_center_joystick_mode"});
}

// Steps that would do nothing or not what they say.
void noteStep(const Value& step, const std::string& at, const ST_MACRO_DATA& d)
{
    constexpr int32_t kUnityMouse0 = 323, kUnityMouse6 = 329;
    switch (d.type) {
    case 0:
    case 1:
        if ((d.key_code < kUnityMouse0 || d.key_code > kUnityMouse6) && pccode_to_hidcode(d.key_code) < 0)
            pfg_note(Severity::Warning, at + "/key_code",
                     "\"key_code\" " + std::to_string(d.key_code) + " is no key; the step does nothing");
        break;
    case 2:
        pfg_note_range(at + "/scroll_angle", "\"scroll_angle\"", d.scroll_angle, -128, 127,
                       static_cast<int8_t>(static_cast<uint32_t>(d.scroll_angle) & 0xFFu));
        break;
    case 3:
        pfg_note_range(at + "/duration", "\"duration\"", d.duration, 0, 0xFFFF,
                       static_cast<uint16_t>(static_cast<uint32_t>(d.duration) & 0xFFFFu));
        break;
    default:
        pfg_note(Severity::Warning, at + "/type",
                 "step \"type\" " + std::to_string(d.type) +
                     " is none of 0 (press), 1 (release), 2 (scroll), 3 (delay); the step is left out");
        break;
    }
    pfg_note_unread(step, at, {"type", "scroll_angle", "key_code", "duration"});
}

// The four fields of a macro step, in one pass over its members (a large
// profile holds thousands of steps); false when one is missing or not an int. As
// with a lookup by name, the first of two members of one name counts.
bool readStep(const Value& step, ST_MACRO_DATA& d)
{
    static constexpr std::string_view kFields[] = {"type", "scroll_angle", "key_code", "duration"};
    int32_t* const targets[] = {&d.type, &d.scroll_angle, &d.key_code, &d.duration};
    unsigned seen = 0;
    for (const auto& m : step.GetObject()) {
        const std::string_view name(m.name.GetString(), m.name.GetStringLength());
        for (unsigned i = 0; i < 4; ++i) {
            if (name != kFields[i] || (seen & 1u << i) != 0)
                continue;
            if (!m.value.IsInt())
                return false;
            *targets[i] = m.value.GetInt();
            seen |= 1u << i;
        }
    }
    return seen == 0xF;
}

void readMacros(const Value& profile, const Path& path, Profile& out)
{
    const Value& macros = requireArray(profile, path, "_macro_data");
    const Path at = member(path, "_macro_data");
    for (rapidjson::SizeType i = 0; i < macros.Size(); ++i) {
        const Path mpath = indexed(at, i);
        const Value& m = elementObject(macros, i, at);
        ST_MACRO macro{};
        macro.macro_id = requireInt(m, mpath, "macro_id");
        const Value& name = requireString(m, mpath, "macro_name");
        if (name.GetStringLength() >= kMacroNameField)
            fail(member(mpath, "macro_name"), "is 64 bytes or longer");
        std::memcpy(macro.macro_name, name.GetString(), name.GetStringLength());
        const Value& steps = requireArray(m, mpath, "data");
        const Path spath = member(mpath, "data");
        macro.steps.reserve(steps.Size());
        for (rapidjson::SizeType s = 0; s < steps.Size(); ++s) {
            const Path stepPath = indexed(spath, s);
            const Value& step = elementObject(steps, s, spath);
            ST_MACRO_DATA d{};
            if (!readStep(step, d)) {  // names the first field that is wrong
                d.type = requireInt(step, stepPath, "type");
                d.scroll_angle = requireInt(step, stepPath, "scroll_angle");
                d.key_code = requireInt(step, stepPath, "key_code");
                d.duration = requireInt(step, stepPath, "duration");
            }
            macro.steps.push_back(d);
            if (pfg_noting())
                noteStep(step, stepPath.pointer(), d);
        }
        if (pfg_noting())
            pfg_note_unread(m, mpath.pointer(), {"macro_id", "macro_name", "data"});
        out.macros.push_back(std::move(macro));
    }
}

// "buttons 1..29", from the button table.
std::string buttonNumbers()
{
    int32_t low = mouse_key_map[0].unity_button, high = low;
    for (const mouse_key_map_t& row : mouse_key_map) {
        low = std::min(low, row.unity_button);
        high = std::max(high, row.unity_button);
    }
    return "buttons " + std::to_string(low) + ".." + std::to_string(high);
}

void readBindings(const Value& profile, const Path& path, Profile& out)
{
    const Value& keys = requireArray(profile, path, "_key_data");
    const Path at = member(path, "_key_data");
    for (rapidjson::SizeType i = 0; i < keys.Size(); ++i) {
        const Path bpath = indexed(at, i);
        const Value& k = elementObject(keys, i, at);
        Binding b{};
        b.key_code = requireInt(k, bpath, "key_code");
        b.pass = passOf(static_cast<uint8_t>(convert_unity_button_to_fw_button_index(b.key_code) & 0xFF));
        if (pfg_noting())
            pfg_note_unread(k, bpath.pointer(), {"key_code", "action_type", "action_data"});
        if (b.pass < 0) {
            // No button of the mouse: never compiled.
            if (pfg_noting())
                pfg_note(Severity::Error, bpath.pointer() + "/key_code",
                         "\"key_code\" " + std::to_string(b.key_code) + " is no button of the mouse (" +
                             buttonNumbers() + "); the binding is left out");
            continue;
        }
        b.action_type = requireInt(k, bpath, "action_type");
        b.action_data = requireString(k, bpath, "action_data").GetString();
        b.index = static_cast<long>(i);
        out.bindings.push_back(b);
    }
    // One pass per button; within a button, the bindings in array order.
    std::stable_sort(out.bindings.begin(), out.bindings.end(),
                     [](const Binding& l, const Binding& r) { return l.pass < r.pass; });
}

Profile readProfile(const Value& profile, const Path& path, long index)
{
    Profile out{};
    out.index = index;
    require(profile, path, "_led_data");
    readDpi(profile, path, out);
    readControl(profile, path, out);
    readMacros(profile, path, out);
    readBindings(profile, path, out);
    if (pfg_noting())
        pfg_note_unread(profile, path.pointer(),
                        {"_profile_name", "_led_data", "_dpi_data", "_control_data", "_macro_data", "_key_data"});
    return out;
}

// Everything the document selects, or a SchemaError.
std::vector<HandEntry> readDocument(const Value& root, const char* handName, const char* profileName)
{
    std::vector<HandEntry> hands;
    if (!root.IsObject())
        fail(Path("the document root", ""), "is not an object");
    pfg_note_unread(root, "", {"testData"});
    const Value* testData = json_fields::find(root, "testData");
    if (testData == nullptr || !testData->IsArray())
        return hands;
    for (rapidjson::SizeType h = 0; h < testData->Size(); ++h) {
        const Path top("testData", "/testData");
        const Path hpath = indexed(top, h);
        const Value& hand = elementObject(*testData, h, top);
        if (!json_fields::equals(requireString(hand, hpath, "name"), handName))
            continue;
        HandEntry entry;
        entry.index = static_cast<long>(h);
        if (pfg_noting())
            pfg_note_unread(hand, hpath.pointer(), {"name", "profiles"});
        const Value& profiles = requireArray(hand, hpath, "profiles");
        const Path ppath = member(hpath, "profiles");
        for (rapidjson::SizeType p = 0; p < profiles.Size(); ++p) {
            const Path path = indexed(ppath, p);
            const Value& profile = elementObject(profiles, p, ppath);
            if (json_fields::equals(requireString(profile, path, "_profile_name"), profileName))
                entry.profiles.push_back(readProfile(profile, path, static_cast<long>(p)));
        }
        hands.push_back(std::move(entry));
    }
    return hands;
}

void printProgress(const char* prefix, const char* name)
{
    PfgLogSink* out = pfg_state.progress;
    if (out == nullptr)
        return;
    std::string line = std::string(prefix) + name + "\n";
    out->write(line.data(), line.size());
    out->flush();
}

void compile(Profile& profile, long hand)
{
    std::copy(std::begin(profile.dpi_table), std::end(profile.dpi_table), pfg_state.dpi_table);
    pfg_state.freeform_dpi = profile.freeform_dpi;
    if (profile.mode == 1)
        pfg_state.ctrl_deadzone = 0;
    else if (profile.mode == 0)
        pfg_state.ctrl_deadzone = profile.deadzone;
    pfg_state.freeform_center_joystick_mode = profile.joystick_center_mode;
    for (ST_MACRO& macro : profile.macros)
        pfg_state.macros.push_back(std::move(macro));
    pfg_state.where.hand = hand;
    pfg_state.where.profile = profile.index;
    for (const Binding& b : profile.bindings) {
        pfg_state.where.binding = b.index;
        add_action(b.key_code, b.action_type, b.action_data);
    }
    pfg_state.where = pfg_binding_where_t{};
}

void logSchemaError(const char* handName, const char* profileName, const std::string& what)
{
    pfg_log_line("%-16s profile '%s' on %s: %s\n", PFG_TAG_ERROR, profileName, handName, what.c_str());
}

// A generation once its document is parsed (or known not to parse): the
// schema check, then the compilation.
bool processDocument(const rapidjson::Document& doc, const rapidjson::ParseResult& parsed, const char* source,
                     const char* handName, const char* profileName)
{
    try {
        if (parsed.IsError()) {
            pfg_state.error_offset = parsed.Offset();
            logSchemaError(handName, profileName,
                           std::string("JSON file '") + source + "' does not parse: " +
                               rapidjson::GetParseError_En(parsed.Code()) + " (offset " +
                               std::to_string(parsed.Offset()) + ")");
            return false;
        }
        std::vector<HandEntry> hands = readDocument(doc, handName, profileName);
        for (HandEntry& hand : hands) {
            printProgress("Name: ", handName);
            ++pfg_state.hand_entries;
            for (Profile& profile : hand.profiles) {
                printProgress("\nprofile_name: ", profileName);
                ++pfg_state.profiles_compiled;
                compile(profile, hand.index);
            }
        }
        return true;
    } catch (const SchemaError& e) {
        pfg_state.error_pointer = e.pointer;
        logSchemaError(handName, profileName, e.where + " " + e.what);
    } catch (const std::bad_alloc&) {
        logSchemaError(handName, profileName, "out of memory reading the JSON file");
    }
    return false;
}

// Reads the JSON file into `text`. When that cannot be done, logs why and
// gives the generation's result: false for a file too large (or no memory
// for it), true for one that cannot be opened or read (nothing is compiled).
std::optional<bool> readOrLog(const char* jsonFile, const char* handName, const char* profileName, std::string& text,
                              bool& regular)
{
    text.clear();
    try {
        const JsonFileRead read = jsonFile != nullptr ? readJsonFile(jsonFile, text, &regular) : JsonFileRead::CannotRead;
        if (read == JsonFileRead::TooLarge) {
            logSchemaError(handName, profileName,
                           std::string("JSON file '") + jsonFile + "' is larger than " +
                               std::to_string(kMaxJsonFileSize) + " bytes");
            return false;
        }
        if (read == JsonFileRead::CannotRead) {
            pfg_log_line("Failed to open the JSON file. fileName=%s\n", jsonFile != nullptr ? jsonFile : "(null)");
            return true;
        }
    } catch (const std::bad_alloc&) {
        logSchemaError(handName, profileName, "out of memory reading the JSON file");
        return false;
    }
    return std::nullopt;
}

} // namespace

JsonFileRead readJsonFile(const char* path, std::string& text, bool* regular)
{
    const zentrova::FileDescriptor file(::open(path, O_RDONLY | O_CLOEXEC));
    if (!file)
        return JsonFileRead::CannotRead;
    // A file is read straight into a string of the size it claims (one more
    // byte shows that it ended there); one without a size (a pipe, a device)
    // or larger than it said grows the string as it comes, never beyond one
    // byte over the limit.
    constexpr size_t kLimit = kMaxJsonFileSize + 1;
    struct stat st;
    const bool isRegular = fstat(file.get(), &st) == 0 && S_ISREG(st.st_mode);
    if (regular != nullptr)
        *regular = isRegular;
    const bool sized = isRegular && st.st_size > 0;
    if (sized && static_cast<uint64_t>(st.st_size) > kMaxJsonFileSize)
        return JsonFileRead::TooLarge;
    const size_t start = text.size();
    size_t capacity = sized ? static_cast<size_t>(st.st_size) + 1 : size_t{65536};
    size_t done = 0;
    for (;;) {
        if (done == capacity)
            capacity = std::min(2 * capacity, kLimit);
        text.resize(start + capacity);
        const ssize_t n = ::read(file.get(), &text[start + done], capacity - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            text.resize(start + done);
            return JsonFileRead::CannotRead;
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
        if (done > kMaxJsonFileSize) {
            text.resize(start + done);
            return JsonFileRead::TooLarge;
        }
    }
    text.resize(start + done);
    return JsonFileRead::Read;
}

int64_t freeform_dpi_unwrapped(int32_t setting)
{
    // Single precision, one rounding per operation: the firmware's tables were
    // made this way, and a fused multiply-add would turn 127 into 1999.
    const float f = static_cast<float>(setting);
    const float offset = f - 100.0f;
    const float fraction = offset / -99.0f;
    const float scaled = fraction * 11000.0f;
    const float dpi = scaled + 5000.0f;
    // Truncated toward zero; no int32 setting comes near int64's limits.
    return static_cast<int64_t>(dpi);
}

uint16_t freeform_dpi_from_setting(int32_t setting)
{
    // Settings out of range are reduced to 16 bits like the in-range ones.
    return static_cast<uint16_t>(static_cast<uint64_t>(freeform_dpi_unwrapped(setting)) & 0xFFFFu);
}

uint16_t deadzone_from_setting(uint32_t setting)
{
    const uint32_t d = setting & 0xFFFFu;
    return d >= 1 && d <= 100 ? static_cast<uint16_t>(596 * d + 404) : 1000;
}

bool processProfile(const char* jsonFile, const char* handName, const char* profileName)
{
    if (handName == nullptr || profileName == nullptr)
        return false;
    std::string text;
    bool regular = false;
    if (const std::optional<bool> ended = readOrLog(jsonFile, handName, profileName, text, regular))
        return *ended;
    try {
        pfg_log_line("Process profile(%s) on %s start!!!\n", profileName, handName);
        rapidjson::Document doc;
        // A regular file is parsed in place: the document's strings stay in
        // `text` instead of being copied. When that fails, `text` no longer
        // holds what the file does, and the file is read again for the parse
        // that decides and names the error.
        rapidjson::ParseResult parsed = regular ? parseJsonInPlace(doc, &text[0]) : parseJson(doc, text.c_str());
        if (parsed.IsError() && regular) {
            if (const std::optional<bool> ended = readOrLog(jsonFile, handName, profileName, text, regular))
                return *ended;
            parsed = parseJson(doc, text.c_str());
        }
        return processDocument(doc, parsed, jsonFile, handName, profileName);
    } catch (const std::bad_alloc&) {
        logSchemaError(handName, profileName, "out of memory reading the JSON file");
        return false;
    }
}

bool processProfileText(const std::string& text, const char* source, const char* handName, const char* profileName)
{
    if (handName == nullptr || profileName == nullptr)
        return false;
    try {
        pfg_log_line("Process profile(%s) on %s start!!!\n", profileName, handName);
        rapidjson::Document doc;
        const rapidjson::ParseResult parsed = parseJson(doc, text.c_str());
        return processDocument(doc, parsed, source, handName, profileName);
    } catch (const std::bad_alloc&) {
        logSchemaError(handName, profileName, "out of memory reading the JSON file");
        return false;
    }
}

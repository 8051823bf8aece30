// Findings of the compiler beyond its log lines: values that would wrap,
// bindings that compile to nothing, members it never reads, names close to
// a mistyped one. They are collected only while pfg_state.notes is set (the
// compiler API sets it); doPfg's generations collect none, so its log and
// images are the same with or without them.
#ifndef ZENTROVA_PROFILE_COMPILE_NOTES_H
#define ZENTROVA_PROFILE_COMPILE_NOTES_H

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "profile/rapidjson_dom.h"
#include "zentrova/profile/Compiler.h"

/// What the compiler API collects during one generation.
struct PfgNotes {
    std::vector<zentrova::Diagnostic> found;  ///< placed by their JSON pointer afterwards
    /// Added to the message of the next "[ERROR]" line's diagnostic.
    std::optional<std::string> hint;
};

/// Whether findings are collected: check before any work done only for them.
bool pfg_noting();

void pfg_note(zentrova::Diagnostic::Severity severity, std::string pointer, std::string message);

/// Pointer of `member` of the binding under compilation ("" for the binding itself).
std::string pfg_binding_pointer(const char* member = "");

/// Sets the hint of the next "[ERROR]" line: the names nearest to `word`
/// ("did you mean leftbracket?"), when one is close enough.
void pfg_hint_nearest(const std::string& word, const std::vector<std::string>& names);

/// The names of `names` nearest to `word` (letter case ignored), at most
/// three, none when no name is close: "leftbracket", "a or b", "a, b or c".
std::string nearestNames(const std::string& word, const std::vector<std::string>& names);

/// Key names of the key table, in table order.
const std::vector<std::string>& keyTableNames();

/// An error when `value` lies outside [low, high] and so would not reach the
/// mouse as written: "<what> <value> is outside low..high; the mouse would
/// get <stored>". Returns whether it is inside.
bool pfg_note_range(const std::string& pointer, const std::string& what, int64_t value, int64_t low, int64_t high,
                    int64_t stored);

/// Information for every member of `object` that is not in `read`, and a
/// warning for every member named twice (the first one counts). Nothing
/// when `object` is not an object. The notes point at each member, or, for
/// an object held in a JSON text (`inText` names it, e.g. "action_data"),
/// at that text's value.
void pfg_note_unread(const rapidjson::Value& object, const std::string& pointer,
                     std::initializer_list<const char*> read, const char* inText = nullptr);

#endif

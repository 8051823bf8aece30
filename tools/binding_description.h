// What each program of a profile image binds, read back from the image: the
// input by its index, and the kind of binding by the instruction patterns
// the profile compiler emits. An image keeps no key or macro names beyond
// HID usages, no macro ids and no binding text, so a description says only
// what the bytes hold: "key leftcontrol+c, down", "macro of program 65,
// normal, 3 times, interruptible", "key repeater 1 sends a, 10 times, pause
// 30..60". A program of no known pattern is "other".
#ifndef ZENTROVA_TOOL_BINDING_DESCRIPTION_H
#define ZENTROVA_TOOL_BINDING_DESCRIPTION_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "zentrova/profile/ProfileImage.h"

using BindingValue = std::variant<std::string, int64_t, bool>;

struct BindingDescription {
    size_t record = 0;   ///< position of the program in the image
    uint8_t index = 0;   ///< program index
    std::string input;   ///< "button 3 (configurator button 15)", "further input 48", "shared program 65"
    /// "press", "release", "single" (an input with one program), "shared"
    /// (a macro body or key-repeater stroke) or "unassigned".
    std::string event;
    /// "mouse", "key", "dpi", "macro", "key repeater", "macro body",
    /// "key repeater stroke", "profile", "joystick", "empty" or "other".
    std::string kind;
    std::string text;    ///< one line for people: "key leftcontrol+c, down"
    bool replaced = false;  ///< a later program of the same index replaces it on the mouse
    /// Further facts as JSON-ready fields, e.g. {"key", "c"}, {"modifiers",
    /// "leftcontrol"}, {"program", 65}, {"count", 3}, {"mode", "normal"}.
    std::vector<std::pair<std::string, BindingValue>> fields;
};

/// One description per program of `image`, in image order.
std::vector<BindingDescription> describeBindings(const zentrova::ProfileImage& image);

#endif

// Where values lie in JSON text: rapidjson's document keeps no positions, so
// a second, SAX pass over the same text finds them by JSON pointer. Only
// needed once something went wrong, so it costs nothing on success.
#ifndef ZENTROVA_PROFILE_JSON_POSITIONS_H
#define ZENTROVA_PROFILE_JSON_POSITIONS_H

#include <cstddef>
#include <string>
#include <unordered_map>
#include <unordered_set>

/// 1-based line and byte column of a text offset.
struct TextPosition {
    size_t line;
    size_t column;
};

TextPosition positionOf(const std::string& text, size_t offset);

/// Offsets in `text` of the values that `pointers` name (JSON pointers):
/// of a member its key, of an array element its first character. Pointers
/// to nothing in the text are left out.
std::unordered_map<std::string, size_t> findPointers(const std::string& text,
                                                     const std::unordered_set<std::string>& pointers);

#endif

// Parsing JSON text into a rapidjson document, for the profile file and for
// the JSON inside a binding's "action_data".
#ifndef ZENTROVA_PROFILE_JSON_PARSE_H
#define ZENTROVA_PROFILE_JSON_PARSE_H

#include "profile/rapidjson_dom.h"

/// Parses the NUL-terminated `text` into `doc`. Accepts the documents that
/// rapidjson's iterative parser accepts and, for the others, gives its error
/// and offset; nesting of any depth is safe whatever the thread's stack.
/// Documents nested no deeper than real profiles are parsed recursively,
/// which is faster; deeper ones and text that is not JSON are left to the
/// iterative parser. Use the result, not doc.HasParseError().
rapidjson::ParseResult parseJson(rapidjson::Document& doc, const char* text);

/// parseJson on text that may be changed, for documents that are read once
/// and thrown away: the document's strings stay in `text`, which must outlive
/// `doc`, instead of being copied. When it fails, `text` is changed and the
/// error may not be the one parseJson gives: parseJson on the original text
/// decides.
rapidjson::ParseResult parseJsonInPlace(rapidjson::Document& doc, char* text);

/// Arrays and objects one inside the other that the recursive parse takes;
/// a document nested deeper is parsed iteratively.
constexpr unsigned kRecursiveParseDepth = 64;

#endif

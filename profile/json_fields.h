// Typed member access on rapidjson values, as the profile schema needs it:
// members are found by exact name (the first occurrence counts), "int" is an
// integer within the signed 32-bit range, "unsigned" one within 0..2^32-1.
#ifndef ZENTROVA_PROFILE_JSON_FIELDS_H
#define ZENTROVA_PROFILE_JSON_FIELDS_H

#include <cstdint>

#include "profile/rapidjson_dom.h"

namespace json_fields {

/// The member called `name` of an object, or null when `object` is not an
/// object or has no such member.
const rapidjson::Value* find(const rapidjson::Value& object, const char* name);

bool getInt(const rapidjson::Value& object, const char* name, int32_t& out);
bool getUint(const rapidjson::Value& object, const char* name, uint32_t& out);
bool getBool(const rapidjson::Value& object, const char* name, bool& out);

/// Whether string value `value` holds exactly the bytes of NUL-terminated `text`.
bool equals(const rapidjson::Value& value, const char* text);

} // namespace json_fields

#endif

#include "profile/json_fields.h"

#include <cstring>

namespace json_fields {

const rapidjson::Value* find(const rapidjson::Value& object, const char* name)
{
    if (!object.IsObject())
        return nullptr;
    const auto it = object.FindMember(name);
    return it == object.MemberEnd() ? nullptr : &it->value;
}

bool getInt(const rapidjson::Value& object, const char* name, int32_t& out)
{
    const rapidjson::Value* v = find(object, name);
    if (v == nullptr || !v->IsInt())
        return false;
    out = v->GetInt();
    return true;
}

bool getUint(const rapidjson::Value& object, const char* name, uint32_t& out)
{
    const rapidjson::Value* v = find(object, name);
    if (v == nullptr || !v->IsUint())
        return false;
    out = v->GetUint();
    return true;
}

bool getBool(const rapidjson::Value& object, const char* name, bool& out)
{
    const rapidjson::Value* v = find(object, name);
    if (v == nullptr || !v->IsBool())
        return false;
    out = v->GetBool();
    return true;
}

bool equals(const rapidjson::Value& value, const char* text)
{
    if (!value.IsString())
        return false;
    const size_t length = std::strlen(text);
    return value.GetStringLength() == length && std::memcmp(value.GetString(), text, length) == 0;
}

} // namespace json_fields

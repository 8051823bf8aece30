// Compares a command's JSON output with the fields a test cares about.
#ifndef ZENTROVA_TESTS_SUPPORT_JSONHAS_H
#define ZENTROVA_TESTS_SUPPORT_JSONHAS_H

#include <string>

#include <gtest/gtest.h>
#include <rapidjson/document.h>

// Where (a JSON pointer) `actual` differs from what `expected` spells out, or
// "": each member of an expected object (absent where it is null), arrays of
// the same length element by element, equal strings, numbers and booleans.
inline std::string jsonMismatch(const rapidjson::Value& actual, const rapidjson::Value& expected, std::string at = "")
{
    const bool scalar = !expected.IsObject() && !expected.IsArray();
    if (expected.IsObject() != actual.IsObject() || expected.IsArray() != actual.IsArray() ||
        (expected.IsArray() && expected.Size() != actual.Size()) || (scalar && actual != expected))
        return at + " differs";
    std::string inner;
    if (expected.IsArray())
        for (rapidjson::SizeType i = 0; i < expected.Size() && inner.empty(); ++i)
            inner = jsonMismatch(actual[i], expected[i], at + "/" + std::to_string(i));
    if (expected.IsObject())
        for (auto m = expected.MemberBegin(); m != expected.MemberEnd() && inner.empty(); ++m) {
            const auto found = actual.FindMember(m->name);
            if ((found == actual.MemberEnd()) != m->value.IsNull())
                return at + "/" + m->name.GetString() + (m->value.IsNull() ? " is present" : " is missing");
            if (!m->value.IsNull())
                inner = jsonMismatch(found->value, m->value, at + "/" + m->name.GetString());
        }
    return inner;
}

// EXPECT_TRUE(jsonHas(output, R"({"file": "a.zvmp", "mice": [{"hand": "left"}, {}]})"))
inline ::testing::AssertionResult jsonHas(const std::string& text, const std::string& expected)
{
    rapidjson::Document actual, want;
    if (actual.Parse(text.c_str()).HasParseError() || want.Parse(expected.c_str()).HasParseError())
        return ::testing::AssertionFailure() << "no JSON: " << text << "\nor " << expected;
    const std::string where = jsonMismatch(actual, want);
    return where.empty() ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << where << " in " << text;
}

#endif

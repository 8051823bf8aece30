// The --json output of the zentrova commands: one document on standard
// output, written with rapidjson's PrettyWriter.
#ifndef ZENTROVA_TOOL_JSON_OUTPUT_H
#define ZENTROVA_TOOL_JSON_OUTPUT_H

#include <string>

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include "zentrova/device/Session.h"

class JsonOutput {
public:
    JsonOutput() : writer(buffer) {}
    /// Prints the document and a line break to standard output.
    void print();

    void key(const char* name) { writer.Key(name); }
    /// Text as valid UTF-8: a byte that starts no valid sequence becomes U+FFFD.
    void string(const std::string& text);
    void field(const char* name, const std::string& text) { key(name), string(text); }
    void field(const char* name, const char* text) { key(name), string(text); }
    void field(const char* name, bool value) { key(name), writer.Bool(value); }
    void field(const char* name, int64_t value) { key(name), writer.Int64(value); }
    void field(const char* name, int value) { key(name), writer.Int(value); }
    void field(const char* name, unsigned value) { key(name), writer.Uint(value); }
    void field(const char* name, size_t value) { key(name), writer.Uint64(value); }
    /// A mouse as list, version and check show it.
    void mouse(const zentrova::MouseInfo& m);

    rapidjson::StringBuffer buffer;
    rapidjson::PrettyWriter<rapidjson::StringBuffer> writer;
};

#endif

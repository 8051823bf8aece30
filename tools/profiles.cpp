// "zentrova profiles PROFILE.json": the hand entries and profile names of a
// configurator profile file, one "HAND NAME" line per profile, ready for
// "zentrova compile FILE --hand HAND --profile NAME".
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <rapidjson/document.h>

#include "command.h"
#include "exit_codes.h"
#include "file_io.h"
#include "json_output.h"

namespace {

using zentrova::Cause;

constexpr int64_t kMaxProfileFileSize = 64 * 1024 * 1024;

struct Options {
    std::string path;
    bool json = false;
};

// (hand word, profile name) of every named profile of the file's hand entries.
std::vector<std::pair<std::string, std::string>> profilesOf(const std::string& path)
{
    const std::vector<uint8_t> bytes = readWholeFile(path, kMaxProfileFileSize);
    rapidjson::Document doc;
    doc.Parse(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (doc.HasParseError() || !doc.IsObject())
        fail(Cause::InvalidFile, "%s: not a JSON object", path.c_str());
    const auto data = doc.FindMember("testData");
    if (data == doc.MemberEnd() || !data->value.IsArray())
        fail(Cause::InvalidFile, "%s: no \"testData\" list", path.c_str());

    std::vector<std::pair<std::string, std::string>> found;
    for (const auto& hand : data->value.GetArray()) {
        if (!hand.IsObject())
            continue;
        const auto name = hand.FindMember("name");
        const auto profiles = hand.FindMember("profiles");
        if (name == hand.MemberEnd() || !name->value.IsString() || profiles == hand.MemberEnd() ||
            !profiles->value.IsArray())
            continue;
        const std::string handName = name->value.GetString();
        const char* word = handName == "Left Mouse" ? "left" : handName == "Right Mouse" ? "right" : nullptr;
        if (!word)
            continue;
        for (const auto& profile : profiles->value.GetArray()) {
            if (!profile.IsObject())
                continue;
            const auto pname = profile.FindMember("_profile_name");
            if (pname != profile.MemberEnd() && pname->value.IsString())
                found.emplace_back(word, std::string(pname->value.GetString(), pname->value.GetStringLength()));
        }
    }
    if (found.empty())
        fail(Cause::InvalidFile, "%s: no profile for either hand", path.c_str());
    return found;
}

int runProfiles(const Options& o)
{
    const auto found = profilesOf(o.path);
    if (!o.json) {
        for (const auto& [hand, name] : found)
            std::printf("%s %s\n", hand.c_str(), name.c_str());
        return 0;
    }
    JsonOutput j;
    j.writer.StartObject();
    j.field("file", o.path);
    j.key("profiles");
    j.writer.StartArray();
    for (const auto& [hand, name] : found) {
        j.writer.StartObject();
        j.field("hand", hand);
        j.field("name", name);
        j.writer.EndObject();
    }
    j.writer.EndArray();
    j.writer.EndObject();
    j.print();
    return 0;
}

void defineProfiles(CLI::App& zentrova)
{
    CLI::App* profiles =
        addCommand(zentrova, "profiles", "list the hands and profile names of a configurator JSON file");
    auto o = std::make_shared<Options>();
    profiles->add_option("PROFILE.json", o->path, "configurator profile file to list")
        ->type_name("PROFILE.json")
        ->required();
    profiles->add_flag("--json", o->json, "print one JSON object");
    addExamples(profiles, {"zentrova profiles shooter.json"});
    onRun(profiles, [o] { return runProfiles(*o); });
}

ToolCommandRegistration registration(10, defineProfiles);

} // namespace

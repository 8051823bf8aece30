// "zentrova profiles PROFILE.json": the hand entries and profile names of a
// configurator profile file, one "HAND NAME" line per profile, ready for
// "zentrova compile FILE --hand HAND --profile NAME".
#include <cstdio>
#include <string>

#include <rapidjson/document.h>

#include "arguments.h"
#include "command.h"
#include "file_io.h"
#include "zentrova/util/RuntimeError.h"

namespace {

constexpr int64_t kMaxProfileFileSize = 64 * 1024 * 1024;

int runProfiles(int argc, char** argv)
{
    CommandLineParser cl("zentrova profiles", argc, argv);
    cl.addUsageDescription("PROFILE.json", "configurator profile file to list");
    cl.addUsageDescription("-h, --help", "print this text");
    handleHelp(cl);
    const std::string path = requirePositional(cl, "PROFILE.json");
    cl.finish();

    const std::vector<uint8_t> bytes = readWholeFile(path, kMaxProfileFileSize);
    rapidjson::Document doc;
    doc.Parse(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (doc.HasParseError() || !doc.IsObject())
        runtime_error("%s: not a JSON object", path.c_str());
    const auto data = doc.FindMember("testData");
    if (data == doc.MemberEnd() || !data->value.IsArray())
        runtime_error("%s: no \"testData\" list", path.c_str());

    int listed = 0;
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
            if (pname != profile.MemberEnd() && pname->value.IsString()) {
                std::printf("%s %s\n", word, pname->value.GetString());
                ++listed;
            }
        }
    }
    if (!listed)
        runtime_error("%s: no profile for either hand", path.c_str());
    return 0;
}

ToolCommandRegistration profiles({"profiles", "list the hands and profile names of a configurator JSON file",
                                  runProfiles});

} // namespace

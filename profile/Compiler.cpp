// The compiler API over the generator: its log lines become diagnostics.
#include "zentrova/profile/Compiler.h"

#include <algorithm>
#include <mutex>
#include <unordered_set>

#include "profile/compile_notes.h"
#include "profile/generator.h"
#include "profile/json_positions.h"
#include "profile/pfg_log.h"
#include "profile/process_profile.h"

namespace zentrova {

namespace {

using Severity = Diagnostic::Severity;

constexpr size_t kTagWidth = 16;

// Collects the log text; each "[ERROR]" line becomes an error diagnostic,
// placed by what the generator noted about it.
class DiagnosticSink : public PfgLogSink {
public:
    explicit DiagnosticSink(CompileResult& result) : result_(result) {}

    void write(const char* text, size_t length) override
    {
        result_.log.append(text, length);
        const std::string_view line(text, length);
        if (line.compare(0, std::char_traits<char>::length(PFG_TAG_ERROR), PFG_TAG_ERROR) != 0)
            return;
        Diagnostic d;
        d.severity = Severity::Error;
        std::string_view message = line.substr(std::min(kTagWidth, line.size()));
        while (!message.empty() && message.front() == ' ')
            message.remove_prefix(1);
        while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
            message.remove_suffix(1);
        d.message = std::string(message);
        if (pfg_state.notes != nullptr && pfg_state.notes->hint) {
            d.message += "; " + *pfg_state.notes->hint;
            pfg_state.notes->hint.reset();
        }
        Placement place;
        place.byPath = pfg_state.error_pointer.has_value() || pfg_state.where.binding >= 0;
        if (pfg_state.error_pointer) {
            d.path = *pfg_state.error_pointer;
        } else if (pfg_state.where.binding >= 0) {
            const pfg_binding_where_t& w = pfg_state.where;
            d.path = "/testData/" + std::to_string(w.hand) + "/profiles/" + std::to_string(w.profile) +
                     "/_key_data/" + std::to_string(w.binding) + "/action_data";
        }
        place.offset = pfg_state.error_offset;
        pfg_state.error_pointer.reset();
        pfg_state.error_offset.reset();
        result_.diagnostics.push_back(std::move(d));
        placements.push_back(place);
    }

    struct Placement {
        std::optional<size_t> offset;  // of a parse error
        bool byPath = false;           // placed by its JSON pointer
    };
    std::vector<Placement> placements;  // one per diagnostic, in order

private:
    CompileResult& result_;
};

class TextSink : public PfgLogSink {
public:
    explicit TextSink(std::string& text) : text_(text) {}
    void write(const char* text, size_t length) override { text_.append(text, length); }

private:
    std::string& text_;
};

// Line and column of every diagnostic, from its text offset or its pointer
// (or the nearest enclosing value that the text holds).
void place(const std::string& json, CompileResult& result, const std::vector<DiagnosticSink::Placement>& placements)
{
    std::unordered_set<std::string> wanted;
    for (const Diagnostic& d : result.diagnostics) {
        for (size_t slash = d.path.size(); slash != std::string::npos && slash > 0;
             slash = d.path.rfind('/', slash - 1))
            wanted.insert(d.path.substr(0, slash));
        wanted.insert(std::string());
    }
    const auto found = findPointers(json, wanted);
    constexpr size_t kUnknown = std::string::npos;
    for (size_t i = 0; i < result.diagnostics.size(); ++i) {
        Diagnostic& d = result.diagnostics[i];
        size_t offset = i < placements.size() && placements[i].offset ? *placements[i].offset : kUnknown;
        std::string p = d.path;
        while (offset == kUnknown && i < placements.size() && placements[i].byPath) {
            const auto it = found.find(p);
            if (it != found.end())
                offset = it->second;
            const size_t slash = p.rfind('/');
            if (slash == std::string::npos)
                break;
            p.resize(slash);
        }
        if (offset == kUnknown)
            continue;
        const TextPosition pos = positionOf(json, offset);
        d.line = pos.line;
        d.column = pos.column;
    }
}

CompileResult compile(const std::string& json, const char* source, Hand hand, const std::string& profileName)
{
    CompileResult result;
    DiagnosticSink log(result);
    TextSink progress(result.progress);
    PfgNotes notes;
    {
        std::lock_guard<std::mutex> lock(pfg_generation_mutex());
        FreshGeneratorState fresh;
        pfg_state.log = &log;
        pfg_state.progress = &progress;
        pfg_state.notes = &notes;
        if (pfg_check_name(profileName.c_str())) {
            result.image = pfg_build(source, &json, hand == Hand::Right, profileName.c_str());
            if (result.image) {
                result.bytes = result.image->serialize();
                pfg_log_image(result.bytes);
            }
        }
        result.handEntries = pfg_state.hand_entries;
        result.profilesCompiled = pfg_state.profiles_compiled;
    }
    for (zentrova::Diagnostic& d : notes.found) {
        result.diagnostics.push_back(std::move(d));
        log.placements.push_back({std::nullopt, true});
    }
    if (!result.diagnostics.empty())
        place(json, result, log.placements);
    // In the order of the text; what has no place (such as a profile name
    // that is too long) last.
    std::stable_sort(result.diagnostics.begin(), result.diagnostics.end(), [](const Diagnostic& a, const Diagnostic& b) {
        return std::make_pair(a.line == 0, std::make_pair(a.line, a.column)) <
               std::make_pair(b.line == 0, std::make_pair(b.line, b.column));
    });

    const char* handName = hand == Hand::Right ? "Right Mouse" : "Left Mouse";
    const auto warn = [&result](std::string message) {
        Diagnostic d;
        d.severity = Severity::Warning;
        d.message = std::move(message);
        result.diagnostics.push_back(std::move(d));
    };
    if (result.image) {
        if (result.handEntries == 0)
            warn(std::string("the document has no \"") + handName + "\" entry; the image holds no programs");
        else if (result.profilesCompiled == 0)
            warn("the \"" + std::string(handName) + "\" entry has no profile '" + profileName +
                 "'; the image holds no programs");
        const std::string problem = result.image->loaderProblem();
        if (!problem.empty())
            warn("the mouse's profile loader will refuse this image: " + problem);
    }
    return result;
}

} // namespace

CompileResult compileProfile(const std::string& json, Hand hand, const std::string& profileName,
                             const std::string& source)
{
    return compile(json, source.c_str(), hand, profileName);
}

CompileResult compileProfileFile(const std::string& path, Hand hand, const std::string& profileName)
{
    std::string text;
    const JsonFileRead read = readJsonFile(path.c_str(), text);
    if (read != JsonFileRead::Read) {
        CompileResult result;
        Diagnostic d;
        d.message = read == JsonFileRead::TooLarge
                        ? "the JSON file '" + path + "' is larger than " + std::to_string(kMaxJsonFileSize) + " bytes"
                        : "cannot read the JSON file '" + path + "'";
        result.diagnostics.push_back(std::move(d));
        return result;
    }
    return compile(text, path.c_str(), hand, profileName);
}

} // namespace zentrova

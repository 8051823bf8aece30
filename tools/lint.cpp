#include "lint.h"

#include <algorithm>
#include <set>
#include <stdexcept>
#include <tuple>
#include <utility>

#include <rapidjson/document.h>

#include "diagnostic_report.h"
#include "file_io.h"

namespace {

using zentrova::Diagnostic;
using zentrova::Hand;

constexpr int64_t kMaxProfileFileSize = 64 * 1024 * 1024;

struct Selected {
    Hand hand;
    std::string profile;
};

// The (hand, profile) pairs of the document that the request selects, each
// once; none when the document does not parse or selects nothing.
std::vector<Selected> selectProfiles(const std::string& text, const LintRequest& request)
{
    std::vector<Selected> selected;
    rapidjson::Document doc;
    doc.Parse(text.c_str(), text.size());
    if (doc.HasParseError() || !doc.IsObject())
        return selected;
    const auto data = doc.FindMember("testData");
    if (data == doc.MemberEnd() || !data->value.IsArray())
        return selected;
    std::set<std::pair<int, std::string>> seen;
    for (const auto& entry : data->value.GetArray()) {
        if (!entry.IsObject())
            continue;
        const auto name = entry.FindMember("name");
        const auto profiles = entry.FindMember("profiles");
        if (name == entry.MemberEnd() || !name->value.IsString() || profiles == entry.MemberEnd() ||
            !profiles->value.IsArray())
            continue;
        const std::string handName = name->value.GetString();
        if (handName != "Left Mouse" && handName != "Right Mouse")
            continue;
        const Hand hand = handName == "Right Mouse" ? Hand::Right : Hand::Left;
        if (request.hand && *request.hand != hand)
            continue;
        for (const auto& profile : profiles->value.GetArray()) {
            if (!profile.IsObject())
                continue;
            const auto pname = profile.FindMember("_profile_name");
            if (pname == profile.MemberEnd() || !pname->value.IsString())
                continue;
            const std::string p(pname->value.GetString(), pname->value.GetStringLength());
            if (request.profile && *request.profile != p)
                continue;
            if (seen.insert({static_cast<int>(hand), p}).second)
                selected.push_back({hand, p});
        }
    }
    return selected;
}

} // namespace

DiagnosticCounts countDiagnostics(const std::vector<Diagnostic>& diagnostics)
{
    DiagnosticCounts c;
    for (const Diagnostic& d : diagnostics) {
        c.errors += d.severity == Diagnostic::Severity::Error;
        c.warnings += d.severity == Diagnostic::Severity::Warning;
        c.infos += d.severity == Diagnostic::Severity::Info;
    }
    return c;
}

std::string describeCounts(const DiagnosticCounts& c)
{
    const auto count = [](size_t n, const char* word) {
        return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
    };
    return count(c.errors, "error") + ", " + count(c.warnings, "warning") + ", " + count(c.infos, "info");
}

LintFindings lintFile(const LintRequest& request)
{
    LintFindings found;
    try {
        const std::vector<uint8_t> bytes = readWholeFile(request.file, kMaxProfileFileSize);
        found.text.assign(bytes.begin(), bytes.end());
    } catch (const std::runtime_error& e) {
        found.readError = e.what();
        return found;
    }

    std::vector<Selected> selected = selectProfiles(found.text, request);
    // Nothing selected (or no document): one compilation says why.
    const bool none = selected.empty();
    if (none)
        selected.push_back({request.hand.value_or(Hand::Right), request.profile.value_or("")});

    // A place shared by several profiles (the document root, a syntax
    // error) is reported once.
    std::set<std::tuple<int, std::string, std::string>> seen;
    for (const Selected& s : selected) {
        const zentrova::CompileResult r = zentrova::compileProfile(found.text, s.hand, s.profile, request.file);
        for (const Diagnostic& d : r.diagnostics)
            if (seen.insert({static_cast<int>(d.severity), d.path, d.message}).second)
                found.diagnostics.push_back(d);
    }
    std::stable_sort(found.diagnostics.begin(), found.diagnostics.end(), [](const Diagnostic& a, const Diagnostic& b) {
        return std::make_tuple(a.line == 0, a.line, a.column) < std::make_tuple(b.line == 0, b.line, b.column);
    });
    found.profilesChecked = none ? 0 : selected.size();
    return found;
}

bool lintFailed(const LintRequest& request, const DiagnosticCounts& counts)
{
    return counts.errors > 0 || (request.strict && counts.warnings > 0);
}

int runLint(const LintRequest& request, std::ostream& out, std::ostream& err)
{
    const LintFindings found = lintFile(request);
    if (!found.readError.empty()) {
        err << "zentrova lint: " << found.readError << '\n';
        return kExitInvalidFile;
    }
    reportDiagnostics(found.text, request.file, found.diagnostics, out, request.colour);
    const DiagnosticCounts counts = countDiagnostics(found.diagnostics);
    const size_t checked = found.profilesChecked;
    out << request.file << ": " << checked << " profile" << (checked == 1 ? "" : "s") << " checked: "
        << describeCounts(counts) << '\n';
    return lintFailed(request, counts) ? kExitInvalidFile : 0;
}

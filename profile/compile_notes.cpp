#include "profile/compile_notes.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>

#include "profile/pfg_state.h"
#include "zentrova/profile/key_tables.h"

namespace {

using Severity = zentrova::Diagnostic::Severity;

std::string lowered(const std::string& text)
{
    std::string out = text;
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Edits (insert, delete, replace, swap of neighbours) from a to b.
size_t editDistance(const std::string& a, const std::string& b)
{
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

// JSON pointer token of a member name.
std::string token(const char* name, size_t length)
{
    std::string out;
    for (size_t i = 0; i < length; ++i) {
        if (name[i] == '~')
            out += "~0";
        else if (name[i] == '/')
            out += "~1";
        else
            out += name[i];
    }
    return out;
}

} // namespace

bool pfg_noting() { return pfg_state.notes != nullptr; }

void pfg_note(Severity severity, std::string pointer, std::string message)
{
    if (pfg_state.notes == nullptr)
        return;
    zentrova::Diagnostic d;
    d.severity = severity;
    d.path = std::move(pointer);
    d.message = std::move(message);
    pfg_state.notes->found.push_back(std::move(d));
}

std::string pfg_binding_pointer(const char* member)
{
    const pfg_binding_where_t& w = pfg_state.where;
    std::string p = "/testData/" + std::to_string(w.hand) + "/profiles/" + std::to_string(w.profile) +
                    "/_key_data/" + std::to_string(w.binding);
    if (*member != '\0')
        p += std::string("/") + member;
    return p;
}

std::string nearestNames(const std::string& word, const std::vector<std::string>& names)
{
    const std::string w = lowered(word);
    // Close enough: about one edit in three letters, at least one, at most three.
    const size_t limit = std::min<size_t>(3, std::max<size_t>(1, w.size() / 3));
    size_t best = limit + 1;
    std::vector<std::string> nearest;
    for (const std::string& name : names) {
        const size_t d = editDistance(w, lowered(name));
        if (d > best || std::find(nearest.begin(), nearest.end(), name) != nearest.end())
            continue;
        if (d < best) {
            best = d;
            nearest.clear();
        }
        nearest.push_back(name);
    }
    if (nearest.size() > 3)
        nearest.resize(3);
    std::string text;
    for (size_t i = 0; i < nearest.size(); ++i)
        text += (i == 0 ? "" : i + 1 == nearest.size() ? " or " : ", ") + nearest[i];
    return text;
}

void pfg_hint_nearest(const std::string& word, const std::vector<std::string>& names)
{
    if (pfg_state.notes == nullptr)
        return;
    const std::string nearest = nearestNames(word, names);
    if (!nearest.empty())
        pfg_state.notes->hint = "did you mean " + nearest + "?";
}

const std::vector<std::string>& keyTableNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> out;
        for (const key_code_map_t& row : key_code_map)
            out.emplace_back(row.name);
        return out;
    }();
    return names;
}

bool pfg_note_range(const std::string& pointer, const std::string& what, int64_t value, int64_t low, int64_t high,
                    int64_t stored)
{
    if (value >= low && value <= high)
        return true;
    pfg_note(Severity::Error, pointer,
             what + " " + std::to_string(value) + " is outside " + std::to_string(low) + ".." + std::to_string(high) +
                 "; the mouse would get " + std::to_string(stored));
    return false;
}

void pfg_note_unread(const rapidjson::Value& object, const std::string& pointer,
                     std::initializer_list<const char*> read, const char* inText)
{
    if (pfg_state.notes == nullptr || !object.IsObject())
        return;
    std::set<std::string> seen;
    for (auto m = object.MemberBegin(); m != object.MemberEnd(); ++m) {
        const std::string name(m->name.GetString(), m->name.GetStringLength());
        const std::string at = inText ? pointer : pointer + "/" + token(name.data(), name.size());
        const std::string label = inText ? std::string(inText) + " member \"" + name + "\"" : "\"" + name + "\"";
        if (!seen.insert(name).second) {
            pfg_note(Severity::Warning, at, label + " appears more than once; only the first one counts");
            continue;
        }
        const bool known = std::any_of(read.begin(), read.end(), [&](const char* r) { return name == r; });
        if (known)
            continue;
        const std::string nearest = nearestNames(name, std::vector<std::string>(read.begin(), read.end()));
        pfg_note(Severity::Info, at,
                 label + " is not read by the compiler" + (nearest.empty() ? "" : "; did you mean " + nearest + "?"));
    }
}

#include "diagnostic_report.h"

#include <algorithm>

namespace {

using Severity = zentrova::Diagnostic::Severity;

// A long line (a document written on one line) is shown in a window of
// this many bytes around the column.
constexpr size_t kWindow = 100;

const char* const kBold = "\033[1m";
const char* const kReset = "\033[0m";

const char* severityColour(Severity s)
{
    switch (s) {
    case Severity::Error:
        return "\033[1;31m";
    case Severity::Warning:
        return "\033[1;35m";
    default:
        return "\033[1;36m";
    }
}

// The text of 1-based line `number`, without its line break; false when the
// source has fewer lines.
bool lineOf(const std::string& source, size_t number, std::string& line)
{
    size_t start = 0;
    for (size_t n = 1; n < number; ++n) {
        start = source.find('\n', start);
        if (start == std::string::npos)
            return false;
        ++start;
    }
    if (start > source.size())
        return false;
    size_t end = source.find('\n', start);
    if (end == std::string::npos)
        end = source.size();
    line = source.substr(start, end - start);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

bool continuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// What goes under `text` before the caret: a tab for a tab, one blank for
// every other character (a UTF-8 sequence is one character).
std::string padding(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\t')
            out += '\t';
        else if (!continuationByte(c))
            out += ' ';
    }
    return out;
}

void sourceExcerpt(const std::string& source, const zentrova::Diagnostic& d, std::ostream& out, bool colour)
{
    std::string line;
    if (!lineOf(source, d.line, line))
        return;
    size_t column = std::min(d.column == 0 ? 1 : d.column, line.size() + 1) - 1;  // 0-based byte
    std::string prefix, suffix;
    if (line.size() > kWindow) {
        size_t from = column > kWindow / 2 ? column - kWindow / 2 : 0;
        while (from > 0 && continuationByte(line[from]))
            --from;
        size_t to = std::min(line.size(), from + kWindow);
        while (to < line.size() && continuationByte(line[to]))
            ++to;
        prefix = from > 0 ? "..." : "";
        suffix = to < line.size() ? "..." : "";
        line = line.substr(from, to - from);
        column -= from;
    }
    const std::string number = std::to_string(d.line);
    const std::string gutter(number.size(), ' ');
    out << ' ' << number << " | " << prefix << line << suffix << '\n';
    out << ' ' << gutter << " | " << padding(prefix + line.substr(0, column));
    if (colour)
        out << "\033[1;32m^" << kReset << '\n';
    else
        out << "^\n";
}

} // namespace

const char* severityWord(Severity severity)
{
    switch (severity) {
    case Severity::Error:
        return "error";
    case Severity::Warning:
        return "warning";
    default:
        return "info";
    }
}

void reportDiagnostic(const std::string& source, const std::string& fileName, const zentrova::Diagnostic& d,
                      std::ostream& out, bool colour)
{
    if (colour)
        out << kBold;
    out << fileName;
    if (d.line != 0)
        out << ':' << d.line << ':' << d.column;
    out << ": ";
    if (colour)
        out << kReset << severityColour(d.severity);
    out << severityWord(d.severity) << ':';
    if (colour)
        out << kReset;
    out << ' ' << d.message;
    if (!d.path.empty())
        out << " [at " << d.path << ']';
    out << '\n';
    if (d.line != 0)
        sourceExcerpt(source, d, out, colour);
}

void reportDiagnostics(const std::string& source, const std::string& fileName,
                       const std::vector<zentrova::Diagnostic>& diagnostics, std::ostream& out, bool colour)
{
    for (const zentrova::Diagnostic& d : diagnostics)
        reportDiagnostic(source, fileName, d, out, colour);
}

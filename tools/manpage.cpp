#include "manpage.h"

#include <cctype>
#include <cstdlib>
#include <ctime>

#include "text_layout.h"

namespace docs {

namespace {

// Text for a roff line: backslashes written as \e. A dash that starts a word
// ("--hand", "-800") is a minus sign (\-), one inside a word a hyphen; in
// option names (minus) every dash is a minus sign.
std::string text(const std::string& s, bool minus = false)
{
    std::string r;
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '\\')
            r += "\\e";
        else if (c == '-' && (minus || i == 0 || s[i - 1] == ' ' || s[i - 1] == '(' || s[i - 1] == '-'))
            r += "\\-";
        else
            r += c;
    }
    return r;
}

std::string line(const std::string& s)
{
    return (!s.empty() && (s[0] == '.' || s[0] == '\'') ? "\\&" : "") + s;
}

std::string bold(const std::string& s) { return "\\fB" + text(s, true) + "\\fR"; }
std::string italic(const std::string& s) { return "\\fI" + text(s, true) + "\\fR"; }

// A synopsis word: options and literal words bold, placeholders (which start
// with a capital) italic, brackets and ellipses plain.
std::string synopsisWord(const std::string& word)
{
    size_t begin = word.find_first_not_of("[(|");
    if (begin == std::string::npos)
        return text(word);
    size_t end = word.find_last_not_of("])|.");
    if (end == std::string::npos || end < begin)
        end = begin;
    const std::string core = word.substr(begin, end - begin + 1);
    const std::string shown = std::isupper(static_cast<unsigned char>(core[0])) ? italic(core) : bold(core);
    return text(word.substr(0, begin)) + shown + text(word.substr(end + 1));
}

std::string synopsis(const std::string& program, const std::string& words)
{
    std::string r = bold(program);
    for (const auto& w : docs::words(words))
        r += " " + synopsisWord(w);
    return r;
}

void paragraphsOut(const std::string& body, std::ostream& out)
{
    bool first = true;
    for (const auto& p : paragraphs(body)) {
        if (!first)
            out << ".PP\n";
        first = false;
        if (preformatted(p)) {
            out << ".RS 4\n.nf\n";
            std::istringstream in(p);
            for (std::string l; std::getline(in, l);)
                out << line(text(l.substr(std::min(l.find_first_not_of(' '), size_t{2})))) << "\n";
            out << ".fi\n.RE\n";
        } else {
            out << line(text(joinWords(words(p), " "))) << "\n";
        }
    }
}

void optionOut(const Argument& a, std::ostream& out)
{
    std::string label;
    for (const auto& n : a.names)
        label += (label.empty() ? "" : ", ") + bold(n);
    if (!a.valueName.empty())
        label += (label.empty() ? "" : " ") + italic(a.valueName);
    out << ".TP\n" << line(label) << "\n";
    const std::string help = optionHelp(a);
    if (!help.empty())
        out << line(text(help)) << "\n";
}

// The options by group; groups get a heading when there is more than one.
void optionsOut(const Command& c, bool subsections, std::ostream& out)
{
    const auto groups = c.optionGroups();
    for (const auto& g : groups) {
        if (groups.size() > 1) {
            if (subsections)
                out << ".SS " << line(text(g.title)) << "\n";
            else
                out << ".PP\n" << line("\\fI" + text(g.title) + ":\\fR") << "\n";
        }
        if (!g.intro.empty()) {
            out << ".PP\n";
            paragraphsOut(g.intro, out);
        }
        for (const auto& a : c.options)
            if (a.group == g.title)
                optionOut(a, out);
    }
}

void commandsOut(const Command& c, const std::string& program, const std::string& prefix, std::ostream& out)
{
    for (const auto& sub : c.commands) {
        const std::string path = prefix + sub.name;
        for (const auto& usage : sub.synopsis())
            out << ".SS " << synopsis(path, usage) << "\n";
        out << line(text(sub.summary)) << "\n";
        if (!sub.description.empty()) {
            out << ".PP\n";
            paragraphsOut(sub.description, out);
        }
        for (const auto& p : sub.positionals) {
            if (!p.help.empty()) {
                out << ".TP\n" << line(italic(p.valueName)) << "\n" << line(text(p.help)) << "\n";
            }
        }
        optionsOut(sub, false, out);
        if (!sub.footer.empty()) {
            out << ".PP\n";
            paragraphsOut(sub.footer, out);
        }
        commandsOut(sub, program, path + " ", out);
    }
}

std::string upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string pageDate()
{
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    if (!epoch || !*epoch)
        return "";
    const std::time_t t = static_cast<std::time_t>(std::strtoll(epoch, nullptr, 10));
    std::tm tm{};
    char day[16] = "";
    if (gmtime_r(&t, &tm))
        std::strftime(day, sizeof day, "%Y-%m-%d", &tm);
    return day;
}

void quotedArg(const std::string& s, std::ostream& out) { out << " \"" << text(s) << "\""; }

} // namespace

void writeManPage(const Command& c, std::ostream& out, int section)
{
    out << ".\\\" Manual page of " << c.name << ", written from the program's own definitions when it is built.\n"
        << ".TH " << text(upper(c.name), true) << " " << section;
    quotedArg(pageDate(), out);
    quotedArg(c.version, out);
    quotedArg(section == 1 ? "User Commands" : "", out);
    out << "\n.SH NAME\n" << text(c.name, true) << " \\- " << text(c.summary) << "\n";

    out << ".SH SYNOPSIS\n";
    bool first = true;
    auto synopsisLines = [&](const Command& cmd, const std::string& path, auto& self) -> void {
        for (const auto& usage : cmd.synopsis()) {
            out << (first ? "" : ".br\n") << line(synopsis(path, usage)) << "\n";
            first = false;
        }
        for (const auto& sub : cmd.commands)
            self(sub, path + " " + sub.name, self);
    };
    synopsisLines(c, c.name, synopsisLines);

    out << ".SH DESCRIPTION\n";
    paragraphsOut(c.description.empty() ? c.summary : c.description, out);
    for (const auto& p : c.positionals)
        if (!p.help.empty())
            out << ".TP\n" << line(italic(p.valueName)) << "\n" << line(text(p.help)) << "\n";
    if (!c.options.empty()) {
        out << ".SH OPTIONS\n";
        optionsOut(c, true, out);
    }
    if (!c.commands.empty()) {
        out << ".SH COMMANDS\n";
        commandsOut(c, c.name, c.name + " ", out);
    }
    if (!c.footer.empty()) {
        out << ".SH NOTES\n";
        paragraphsOut(c.footer, out);
    }
    if (!c.exitStatus.empty()) {
        // Lines "CODE  meaning" become a list; other lines are prose.
        out << ".SH \"EXIT STATUS\"\n";
        std::istringstream in(c.exitStatus);
        std::string prose;
        for (std::string l; std::getline(in, l);) {
            const size_t code = l.find_first_not_of(' ');
            const size_t gap = code == std::string::npos ? code : l.find("  ", code);
            const bool row = gap != std::string::npos && std::isdigit(static_cast<unsigned char>(l[code])) &&
                             l.find_first_not_of(' ', gap) != std::string::npos;
            if (row) {
                if (!prose.empty())
                    paragraphsOut(prose, out), prose.clear();
                out << ".TP\n.B " << text(l.substr(code, gap - code)) << "\n"
                    << line(text(l.substr(l.find_first_not_of(' ', gap)))) << "\n";
            } else if (l.find_first_not_of(' ') != std::string::npos) {
                prose += l + "\n";
            }
        }
        if (!prose.empty()) {
            out << ".PP\n";
            paragraphsOut(prose, out);
        }
    }
    for (const auto& s : c.sections) {
        out << ".SH " << (s.title.find(' ') == std::string::npos ? text(s.title) : "\"" + text(s.title) + "\"") << "\n";
        paragraphsOut(s.intro, out);
    }
    if (!c.seeAlso.empty()) {
        out << ".SH \"SEE ALSO\"\n";
        for (size_t i = 0; i < c.seeAlso.size(); ++i) {
            const std::string& ref = c.seeAlso[i];
            const size_t paren = ref.find('(');
            const std::string tail = ref.substr(std::min(paren, ref.size())) + (i + 1 < c.seeAlso.size() ? "," : "");
            out << ".BR " << text(ref.substr(0, paren), true) << (tail.empty() ? "" : " " + tail) << "\n";
        }
    }
}

} // namespace docs

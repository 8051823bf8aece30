// Plain-text layout shared by the --help and manual page writers.
#ifndef ZENTROVA_TOOL_TEXT_LAYOUT_H
#define ZENTROVA_TOOL_TEXT_LAYOUT_H

#include <sstream>
#include <string>
#include <vector>

namespace docs {

// Paragraphs are separated by blank lines.
inline std::vector<std::string> paragraphs(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    std::string line, current;
    while (std::getline(in, line)) {
        if (line.find_first_not_of(" \t") == std::string::npos) {
            if (!current.empty())
                result.push_back(current);
            current.clear();
        } else {
            current += (current.empty() ? "" : "\n") + line;
        }
    }
    if (!current.empty())
        result.push_back(current);
    return result;
}

// A paragraph whose lines all start with a space is laid out by its author
// (a table, an example) and kept as it is.
inline bool preformatted(const std::string& paragraph)
{
    for (size_t at = 0; at < paragraph.size(); at = paragraph.find('\n', at) + 1) {
        if (paragraph[at] != ' ')
            return false;
        if (paragraph.find('\n', at) == std::string::npos)
            break;
    }
    return true;
}

inline std::vector<std::string> words(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string w; in >> w;)
        result.push_back(w);
    return result;
}

inline std::string joinWords(const std::vector<std::string>& items, const std::string& separator)
{
    std::string result;
    for (const auto& item : items)
        result += (result.empty() ? "" : separator) + item;
    return result;
}

// Fills the words of text into lines of at most width columns, each starting
// with indent (the first with first instead when given).
inline std::string fill(const std::string& text, size_t width, const std::string& indent, const std::string& first)
{
    std::string result, line = first;
    bool empty = true;
    for (const auto& w : words(text)) {
        if (!empty && line.size() + 1 + w.size() > width) {
            result += line + "\n";
            line = indent;
            empty = true;
        }
        line += (empty ? "" : " ") + w;
        empty = false;
    }
    return result + line + "\n";
}

// Paragraphs filled to width, a blank line between them.
inline std::string wrapText(const std::string& text, size_t width, const std::string& indent)
{
    std::string result;
    for (const auto& p : paragraphs(text)) {
        if (!result.empty())
            result += "\n";
        result += preformatted(p) ? p + "\n" : fill(p, width, indent, indent);
    }
    return result;
}

// "  --quiet             print no report": label, then text from column on
// (on the next line when the label reaches it).
inline std::string hangingItem(const std::string& label, const std::string& text, size_t column, size_t width)
{
    const std::string indent(column, ' ');
    if (text.empty())
        return label + "\n";
    if (label.size() + 1 >= column)
        return label + "\n" + fill(text, width, indent, indent);
    return fill(text, width, indent, label + std::string(column - label.size(), ' '));
}

} // namespace docs

#endif

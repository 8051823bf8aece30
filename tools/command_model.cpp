#include "command_model.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include <CLI/CLI.hpp>

#include "text_layout.h"

namespace docs {

namespace {

bool endsWith(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// CLI11 writes a type name followed by its validators' descriptions:
// "TEXT:{right,left}", "INT:value in {slow->1,fast->2} OR {1,2}".
std::string baseTypeName(const std::string& full)
{
    return full.substr(0, full.find(':'));
}

std::vector<std::string> choicesOf(const std::string& full)
{
    std::vector<std::string> result;
    const size_t colon = full.find(':');
    const size_t open = colon == std::string::npos ? colon : full.find('{', colon);
    const size_t close = open == std::string::npos ? open : full.find('}', open);
    if (close == std::string::npos)
        return result;
    std::istringstream items(full.substr(open + 1, close - open - 1));
    std::string item;
    while (std::getline(items, item, ',')) {
        item = item.substr(0, item.find("->"));
        item.erase(0, item.find_first_not_of(' '));
        item.erase(item.find_last_not_of(' ') + 1);
        if (!item.empty())
            result.push_back(item);
    }
    return result;
}

void addOptions(const CLI::App& app, Command& command, const std::string& group)
{
    for (const CLI::Option* o : app.get_options()) {
        if (o->get_group().empty())
            continue; // hidden
        Argument a;
        for (const auto& s : o->get_snames())
            a.names.push_back("-" + s);
        for (const auto& l : o->get_lnames())
            a.names.push_back("--" + l);
        a.help = o->get_description();
        a.group = group.empty() ? o->get_group() : group;
        a.required = o->get_required();
        a.defaultValue = o->get_default_str();
        a.repeatable = o->get_items_expected_max() > 1;
        if (o->get_items_expected_max() > 0) {
            const std::string full = o->get_type_name();
            a.valueName = baseTypeName(full);
            a.choices = choicesOf(full);
            if (a.valueName.empty() || a.valueName == "TEXT")
                a.valueName = upper(a.names.empty() ? o->get_name() : o->get_lnames().empty() ? o->get_snames()[0]
                                                                                                : o->get_lnames()[0]);
        }
        (a.names.empty() ? command.positionals : command.options).push_back(std::move(a));
    }
}

} // namespace

Argument::Kind Argument::kind() const
{
    if (valueName.empty())
        return Kind::Flag;
    if (!choices.empty())
        return Kind::Choice;
    const std::string name = upper(valueName);
    if (!fileExtension().empty() || endsWith(name, "FILE") || endsWith(name, "PATH"))
        return Kind::File;
    if (endsWith(name, "DIR") || endsWith(name, "DIRECTORY"))
        return Kind::Directory;
    return Kind::Word;
}

std::string Argument::fileExtension() const
{
    const size_t dot = valueName.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == valueName.size())
        return "";
    const std::string ext = valueName.substr(dot + 1);
    const bool word = std::all_of(ext.begin(), ext.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
    return word ? ext : "";
}

std::vector<Group> Command::optionGroups() const
{
    std::vector<Group> result;
    auto used = [&](const std::string& title) {
        return std::any_of(options.begin(), options.end(), [&](const Argument& a) { return a.group == title; });
    };
    auto listed = [&](const std::string& title) {
        return std::any_of(result.begin(), result.end(), [&](const Group& g) { return g.title == title; });
    };
    for (const auto& g : groups)
        if (used(g.title) && !listed(g.title))
            result.push_back(g);
    for (const auto& a : options)
        if (!listed(a.group))
            result.push_back({a.group, ""});
    return result;
}

std::vector<std::string> Command::synopsis() const
{
    if (!usage.empty())
        return usage;
    std::string line;
    auto add = [&](const std::string& word) { line += (line.empty() ? "" : " ") + word; };
    bool optional = false;
    for (const auto& o : options) {
        if (o.required)
            add(o.names.back() + (o.valueName.empty() ? "" : " " + o.valueName));
        else
            optional = true;
    }
    if (optional)
        add("[OPTIONS]");
    if (!commands.empty())
        add("COMMAND [ARGS...]");
    for (const auto& p : positionals) {
        const std::string word = p.valueName + (p.repeatable ? "..." : "");
        add(p.required ? word : "[" + word + "]");
    }
    return {line};
}

Command describe(const CLI::App& app)
{
    Command c;
    c.name = app.get_name();
    const std::string text = app.get_description();
    const size_t eol = text.find('\n');
    c.summary = text.substr(0, eol);
    const size_t body = eol == std::string::npos ? eol : text.find_first_not_of('\n', eol);
    if (body != std::string::npos)
        c.description = text.substr(body);
    c.footer = app.get_footer();
    addOptions(app, c, "");
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
        if (sub->get_name().empty())
            addOptions(*sub, c, sub->get_group()); // an option group
        else if (!sub->get_group().empty())
            c.commands.push_back(describe(*sub));
    }
    return c;
}

std::string optionHelp(const Argument& a)
{
    std::string help = a.help;
    if (!a.choices.empty())
        help += " (" + joinWords(a.choices, ", ") + ")";
    if (!a.defaultValue.empty())
        help += " (default " + a.defaultValue + ")";
    if (a.required)
        help += " (required)";
    return help;
}

std::string optionLabel(const Argument& a)
{
    std::string label;
    for (const auto& n : a.names)
        label += (label.empty() ? "" : ", ") + n;
    if (!a.valueName.empty())
        label += (label.empty() ? "" : " ") + a.valueName;
    return label;
}

void writeHelp(const Command& c, std::ostream& out)
{
    const std::vector<std::string> lines = c.synopsis();
    for (size_t i = 0; i < lines.size(); ++i)
        out << (i ? "       " : "usage: ") << c.name << " " << lines[i] << "\n";
    out << "\n" << wrapText(c.description.empty() ? c.summary : c.description, 79, "");
    if (!c.commands.empty()) {
        out << "\nCommands:\n";
        for (const auto& sub : c.commands)
            out << hangingItem("  " + sub.name, sub.summary, 14, 79);
    }
    for (const auto& g : c.optionGroups()) {
        out << "\n" << g.title << ":\n";
        if (!g.intro.empty())
            out << wrapText(g.intro, 79, "");
        for (const auto& a : c.options) {
            if (a.group != g.title)
                continue;
            out << hangingItem("  " + optionLabel(a), optionHelp(a), 26, 79);
        }
    }
    if (!c.footer.empty())
        out << "\n" << wrapText(c.footer, 79, "");
    if (!c.exitStatus.empty())
        out << "\nExit status:\n" << c.exitStatus << (endsWith(c.exitStatus, "\n") ? "" : "\n");
}

} // namespace docs

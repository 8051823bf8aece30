#include "completion.h"

#include <cctype>
#include <functional>

#include "text_layout.h"

namespace docs {

namespace {

using Kind = Argument::Kind;

struct Level {
    std::vector<std::string> path; // command words after the program name
    const Command* command;
};

std::vector<Level> levels(const Command& root)
{
    std::vector<Level> result;
    std::function<void(const Command&, std::vector<std::string>)> walk = [&](const Command& c,
                                                                             std::vector<std::string> path) {
        result.push_back({path, &c});
        for (const auto& sub : c.commands) {
            path.push_back(sub.name);
            walk(sub, path);
            path.pop_back();
        }
    };
    walk(root, {});
    return result;
}

std::string identifier(const std::string& name)
{
    std::string id;
    for (char c : name)
        id += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return id;
}

// 'text' for sh, bash and zsh.
std::string quoted(const std::string& text)
{
    std::string q = "'";
    for (char c : text)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// 'text' for fish, where \ and ' are escaped inside single quotes.
std::string fishQuoted(const std::string& text)
{
    std::string q = "'";
    for (char c : text) {
        if (c == '\\' || c == '\'')
            q += '\\';
        q += c;
    }
    return q + "'";
}

std::vector<std::string> commandNames(const Command& c)
{
    std::vector<std::string> names;
    for (const auto& sub : c.commands)
        names.push_back(sub.name);
    return names;
}

// --- bash -------------------------------------------------------------------

// The bash statement offering the values of an option or positional argument.
std::string bashValues(const Argument& a, const std::string& fn)
{
    switch (a.kind()) {
    case Kind::Choice:
        return "COMPREPLY=($(compgen -W " + quoted(joinWords(a.choices, " ")) + " -- \"$cur\"))";
    case Kind::File:
        return fn + "_files " + quoted(a.fileExtension());
    case Kind::Directory:
        return fn + "_files /";
    default:
        return "COMPREPLY=()";
    }
}

} // namespace

void writeBashCompletion(const Command& root, std::ostream& out)
{
    const std::string fn = "_" + identifier(root.name);
    const auto all = levels(root);
    auto key = [](const Level& l) { return joinWords(l.path, " "); };

    out << "# bash completion for " << root.name << "\n"
        << "# Written from the command's own definitions when it is built.\n\n";

    out << fn << "_files()\n{\n"
        << "    # $1: a file extension; / for directories; empty for any file\n"
        << "    local IFS=$'\\n'\n"
        << "    compopt -o filenames 2>/dev/null\n"
        << "    case $1 in\n"
        << "        /) COMPREPLY=($(compgen -d -- \"$cur\")) ;;\n"
        << "        '') COMPREPLY=($(compgen -f -- \"$cur\")) ;;\n"
        << "        *) COMPREPLY=($(compgen -d -- \"$cur\") $(compgen -f -X \"!*.$1\" -- \"$cur\")) ;;\n"
        << "    esac\n}\n\n";

    // Per command path: its subcommands, its options, the options taking a value.
    auto table = [&](const std::string& name, const std::function<std::vector<std::string>(const Command&)>& items,
                     const std::string& pad) {
        out << fn << "_" << name << "()\n{\n    case $1 in\n";
        for (const auto& l : all) {
            const auto words = items(*l.command);
            if (!words.empty())
                out << "        " << quoted(key(l)) << ") echo " << quoted(pad + joinWords(words, " ") + pad) << " ;;\n";
        }
        out << "    esac\n}\n\n";
    };
    table("commands", commandNames, "");
    table("options", [](const Command& c) {
        std::vector<std::string> names;
        for (const auto& o : c.options)
            names.insert(names.end(), o.names.begin(), o.names.end());
        return names;
    }, "");
    table("valued", [](const Command& c) {
        std::vector<std::string> names;
        for (const auto& o : c.options)
            if (o.kind() != Kind::Flag)
                names.insert(names.end(), o.names.begin(), o.names.end());
        return names;
    }, " ");

    out << fn << "_value()\n{\n    # Offers the values of option $2 of command $1; fails for a flag.\n    case $1:$2 in\n";
    for (const auto& l : all) {
        for (const auto& o : l.command->options) {
            if (o.kind() == Kind::Flag)
                continue;
            std::vector<std::string> patterns;
            for (const auto& n : o.names)
                patterns.push_back(quoted(key(l) + ":" + n));
            out << "        " << joinWords(patterns, "|") << ") " << bashValues(o, fn) << " ;;\n";
        }
    }
    out << "        *) return 1 ;;\n    esac\n}\n\n";

    out << fn << "_operand()\n{\n    # Offers the subcommands of command $1, or its positional argument $2 (from 0).\n"
        << "    case $1 in\n";
    for (const auto& l : all) {
        const Command& c = *l.command;
        if (!c.commands.empty()) {
            out << "        " << quoted(key(l)) << ") COMPREPLY=($(compgen -W " << quoted(joinWords(commandNames(c), " "))
                << " -- \"$cur\")) ;;\n";
        } else if (!c.positionals.empty()) {
            out << "        " << quoted(key(l)) << ")\n            case $2 in\n";
            for (size_t i = 0; i < c.positionals.size(); ++i) {
                const bool rest = i + 1 == c.positionals.size() && c.positionals[i].repeatable;
                out << "                " << (rest ? std::string("*") : std::to_string(i)) << ") "
                    << bashValues(c.positionals[i], fn) << " ;;\n";
            }
            out << "            esac ;;\n";
        }
    }
    out << "        *) COMPREPLY=($(compgen -W \"$(" << fn << "_options \"$1\")\" -- \"$cur\")) ;;\n    esac\n}\n\n";

    out << fn << "()\n{\n"
        << "    local cur=${COMP_WORDS[COMP_CWORD]} path= word opt= prefix= i npos=0 operands=\n"
        << "    COMPREPLY=()\n"
        << "    # The command path and the count of positional arguments before the cursor;\n"
        << "    # an option's value is skipped (bash splits --opt=value at the =).\n"
        << "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
        << "        word=${COMP_WORDS[i]}\n"
        << "        if [[ -z $operands && $word == -- ]]; then\n"
        << "            operands=1\n"
        << "        elif [[ -z $operands && $word == -* ]]; then\n"
        << "            if [[ $word != *=* && $(" << fn << "_valued \"$path\") == *\" $word \"* ]]; then\n"
        << "                [[ ${COMP_WORDS[i+1]} == = ]] && ((i++))\n"
        << "                ((i++))\n"
        << "            fi\n"
        << "        elif ((npos == 0)) && [[ \" $(" << fn << "_commands \"$path\") \" == *\" $word \"* ]]; then\n"
        << "            path=${path:+$path }$word\n"
        << "        else\n"
        << "            ((npos++))\n"
        << "        fi\n"
        << "    done\n"
        << "    if [[ -z $operands ]]; then\n"
        << "        if [[ $cur == = ]]; then\n"
        << "            opt=${COMP_WORDS[COMP_CWORD-1]} cur=\n"
        << "        elif [[ ${COMP_WORDS[COMP_CWORD-1]} == = ]]; then\n"
        << "            opt=${COMP_WORDS[COMP_CWORD-2]}\n"
        << "        elif [[ $cur == -*=* ]]; then\n"
        << "            opt=${cur%%=*} prefix=${cur%%=*}= cur=${cur#*=}\n"
        << "        else\n"
        << "            opt=${COMP_WORDS[COMP_CWORD-1]}\n"
        << "        fi\n"
        << "        if [[ $opt == -* ]] && " << fn << "_value \"$path\" \"$opt\"; then\n"
        << "            [[ -n $prefix ]] && COMPREPLY=(\"${COMPREPLY[@]/#/$prefix}\")\n"
        << "            return 0\n"
        << "        fi\n"
        << "        cur=$prefix$cur\n"
        << "        if [[ $cur == -* ]]; then\n"
        << "            COMPREPLY=($(compgen -W \"$(" << fn << "_options \"$path\")\" -- \"$cur\"))\n"
        << "            return 0\n"
        << "        fi\n"
        << "    fi\n"
        << "    " << fn << "_operand \"$path\" \"$npos\"\n"
        << "}\n\n"
        << "complete -F " << fn << " " << root.name << "\n";
}

// --- zsh --------------------------------------------------------------------

namespace {

// Text inside an _arguments [description]; the whole argument is single-quoted later.
std::string zshBracket(const std::string& text)
{
    std::string s;
    for (char c : text) {
        if (c == '[' || c == ']' || c == '\\')
            s += '\\';
        s += c;
    }
    return s;
}

std::string zshColon(const std::string& text)
{
    std::string s;
    for (char c : text) {
        if (c == ':' || c == '\\')
            s += '\\';
        s += c;
    }
    return s;
}

std::string zshAction(const Argument& a)
{
    switch (a.kind()) {
    case Kind::Choice: {
        std::vector<std::string> items;
        for (const auto& c : a.choices) {
            std::string item;
            for (char ch : c) {
                if (std::isspace(static_cast<unsigned char>(ch)) || ch == '(' || ch == ')' || ch == '\\')
                    item += '\\';
                item += ch;
            }
            items.push_back(item);
        }
        return "(" + joinWords(items, " ") + ")";
    }
    case Kind::File:
        return a.fileExtension().empty() ? "_files" : "_files -g \"*." + a.fileExtension() + "(-.)\"";
    case Kind::Directory:
        return "_files -/";
    default:
        return " ";
    }
}

std::vector<std::string> zshSpecs(const Command& c)
{
    std::vector<std::string> specs;
    for (const auto& o : c.options) {
        const bool valued = o.kind() != Kind::Flag;
        const std::string exclusive = o.repeatable ? "*" : o.names.size() > 1 ? "(" + joinWords(o.names, " ") + ")" : "";
        for (const auto& n : o.names) {
            std::string argument = exclusive + n + (valued ? (n.rfind("--", 0) == 0 ? "=" : "+") : "") + "[" +
                               zshBracket(o.help) + "]";
            if (valued)
                argument += ":" + zshColon(o.valueName) + ":" + zshAction(o);
            specs.push_back(quoted(argument));
        }
    }
    if (c.commands.empty()) {
        for (size_t i = 0; i < c.positionals.size(); ++i) {
            const Argument& p = c.positionals[i];
            const bool rest = i + 1 == c.positionals.size() && p.repeatable;
            const std::string position = rest ? "*" : std::to_string(i + 1);
            specs.push_back(quoted(position + (p.required || rest ? ":" : "::") + zshColon(p.valueName) + ":" + zshAction(p)));
        }
    }
    return specs;
}

} // namespace

void writeZshCompletion(const Command& root, std::ostream& out)
{
    out << "#compdef " << root.name << "\n"
        << "# zsh completion for " << root.name << ", written from the command's own definitions when it is built.\n\n";
    for (const auto& l : levels(root)) {
        const Command& c = *l.command;
        std::vector<std::string> path = l.path;
        path.insert(path.begin(), root.name);
        const std::string fn = "_" + identifier(joinWords(path, "_"));
        std::vector<std::string> specs = zshSpecs(c);
        out << fn << "()\n{\n";
        if (!c.commands.empty()) {
            out << "    local curcontext=$curcontext state state_descr line\n"
                << "    typeset -A opt_args\n";
            specs.push_back(quoted("1: :->command"));
            specs.push_back(quoted("*:: :->argument"));
        }
        if (specs.empty()) {
            out << "    _message 'no arguments'\n}\n\n";
            continue;
        }
        out << "    _arguments -s -S" << (c.commands.empty() ? "" : " -C");
        for (const auto& s : specs)
            out << " \\\n        " << s;
        out << "\n";
        if (!c.commands.empty()) {
            out << "    case $state in\n"
                << "        command)\n"
                << "            local -a commands\n"
                << "            commands=(\n";
            for (const auto& sub : c.commands)
                out << "                " << quoted(zshColon(sub.name) + ":" + sub.summary) << "\n";
            out << "            )\n"
                << "            _describe -t commands " << quoted(joinWords(path, " ") + " command") << " commands\n"
                << "            ;;\n"
                << "        argument)\n"
                << "            curcontext=${curcontext%:*:*}:" << joinWords(path, "-") << "-$words[1]:\n"
                << "            case $words[1] in\n";
            for (const auto& sub : c.commands)
                out << "                " << quoted(sub.name) << ") " << fn << "_" << identifier(sub.name) << " ;;\n";
            out << "            esac\n"
                << "            ;;\n"
                << "    esac\n";
        }
        out << "}\n\n";
    }
    out << "_" << identifier(root.name) << " \"$@\"\n";
}

// --- fish -------------------------------------------------------------------

void writeFishCompletion(const Command& root, std::ostream& out)
{
    const std::string head = "complete -c " + root.name;
    out << "# fish completion for " << root.name << ", written from the command's own definitions when it is built.\n"
        << head << " -f\n";
    for (const auto& l : levels(root)) {
        const Command& c = *l.command;
        std::vector<std::string> conditions;
        for (const auto& word : l.path)
            conditions.push_back("__fish_seen_subcommand_from " + word);
        if (!c.commands.empty())
            conditions.push_back("not __fish_seen_subcommand_from " + joinWords(commandNames(c), " "));
        const std::string when = conditions.empty() ? "" : " -n " + fishQuoted(joinWords(conditions, "; and "));
        auto values = [](const Argument& a) -> std::string {
            switch (a.kind()) {
            case Kind::Choice:
                return " -x -a " + fishQuoted(joinWords(a.choices, " "));
            case Kind::File:
                return a.fileExtension().empty() ? " -r -F" : " -x -a " + fishQuoted("(__fish_complete_suffix ." + a.fileExtension() + ")");
            case Kind::Directory:
                return " -x -a '(__fish_complete_directories)'";
            case Kind::Word:
                return " -x";
            default:
                return "";
            }
        };
        for (const auto& sub : c.commands)
            out << head << when << " -a " << fishQuoted(sub.name) << " -d " << fishQuoted(sub.summary) << "\n";
        for (const auto& o : c.options) {
            out << head << when;
            for (const auto& n : o.names)
                out << (n.rfind("--", 0) == 0 ? " -l " + n.substr(2) : n.size() == 2 ? " -s " + n.substr(1) : " -o " + n.substr(1));
            out << values(o) << (o.help.empty() ? "" : " -d " + fishQuoted(o.help)) << "\n";
        }
        if (c.commands.empty()) {
            for (const auto& p : c.positionals) {
                const std::string v = values(p); // " -x -a ...", " -r -F": a positional takes the -a or -F alone
                if (p.kind() != Kind::Word && !v.empty())
                    out << head << when << v.substr(v.find(' ', 1)) << "\n";
            }
        }
    }
}

} // namespace docs

// A command line described once for people and for shells: from this
// description come the --help text of zentrova-sim, the completion scripts
// and the manual pages. The zentrova command's description is read from its
// CLI11 definition (describe()); zentrova-sim builds one from its option table.
// Nothing here includes a header of the library.
#ifndef ZENTROVA_TOOL_COMMAND_MODEL_H
#define ZENTROVA_TOOL_COMMAND_MODEL_H

#include <ostream>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace docs {

// An option ("--hand", "-o") or a positional argument (no names).
struct Argument {
    std::vector<std::string> names;   // "-o", "--output"; empty for a positional argument
    std::string valueName;            // "PROFILE.json", "N"; empty for a flag
    std::string help;
    std::string group;                // heading the option is listed under
    std::vector<std::string> choices; // the values it takes, when they are a fixed set
    std::string defaultValue;
    bool required = false;
    bool repeatable = false; // given more than once, or a positional taking the rest

    // What a shell offers for the value. A value name ending in an extension
    // ("PROFILE.json", "IMAGE.dfu") takes files of that extension, one ending
    // in FILE or PATH any file, DIR a directory.
    enum class Kind { Flag, Word, Choice, File, Directory };
    Kind kind() const;
    std::string fileExtension() const; // "json" for "PROFILE.json"; empty otherwise
};

struct Group {
    std::string title;
    std::string intro; // a paragraph above the group's options; may be empty
};

struct Command {
    std::string name;
    std::string summary;     // one line: what the command is for
    std::string description; // paragraphs separated by blank lines; may be empty
    std::string footer;      // paragraphs after the options (examples, notes)
    std::vector<std::string> usage; // synopsis lines after the program name; empty: derived
    std::vector<Argument> options;
    std::vector<Argument> positionals;
    std::vector<Group> groups; // intros of option groups, and their order
    std::vector<Command> commands;
    // Manual page only:
    std::string version;    // "zentrova 1.0.0"
    std::string exitStatus; // lines "CODE  meaning", and prose lines
    std::vector<Group> sections; // further sections: FILES, ENVIRONMENT ...
    std::vector<std::string> seeAlso; // "udev(7)"

    // The option groups in the order they are listed: groups first, then the
    // groups of options in order of appearance.
    std::vector<Group> optionGroups() const;
    // The synopsis after the command's path: usage, or one derived from the
    // required options and the positional arguments.
    std::vector<std::string> synopsis() const;
};

// The description of a CLI11 application: its subcommands (those in no group,
// i.e. hidden, left out), their options and positional arguments, option
// groups, value names and the choices of IsMember or CheckedTransformer
// validators. The first line of an application's description is its summary.
Command describe(const CLI::App& app);

// "  -o, --output FILE" as --help shows an option.
std::string optionLabel(const Argument& a);
// An option's help with its choices, default and "(required)" appended, as
// both --help and the manual page show it.
std::string optionHelp(const Argument& a);
// --help text: usage, description, options by group, footer.
void writeHelp(const Command& command, std::ostream& out);

} // namespace docs

#endif

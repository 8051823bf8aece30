// Small command-line parser for tools built on the library.
#ifndef ZENTROVA_UTIL_COMMANDLINEPARSER_H
#define ZENTROVA_UTIL_COMMANDLINEPARSER_H

#include <list>
#include <string>
#include <utility>
#include <vector>

#include "zentrova/export.h"
#include "zentrova/util/ArgumentParser.h"
#include "zentrova/util/CommandLineException.h"

/// Holds a program's arguments and lets the caller take options and positional
/// arguments out of them one at a time; finish() rejects whatever is left.
class ZENTROVA_API CommandLineParser {
public:
    /// Copies `programName` (shown in the usage heading), argv[0] as the
    /// executable name, and argv[1..argc-1] as the arguments still to be consumed.
    CommandLineParser(const std::string& programName, int argc, const char* const* argv);
    ~CommandLineParser();

    const std::string& getExecutableName() const;

    /// Looks for the first argument equal to `shortName` or `longName` (exact,
    /// case-sensitive; an empty name matches nothing), removes it and hands the
    /// position after it to `parser`. Returns false when the option is absent.
    /// Unless `multiple` is set, a second occurrence left behind is an error
    /// ("duplicate option"). Errors from `parser` are re-thrown with the
    /// option's label ("-s, --long") as their option text.
    bool getArgument(const std::string& shortName, const std::string& longName, ArgumentParser& parser,
                     bool multiple = false);

    /// Hands the first positional argument (one that does not begin with '-' and
    /// does not follow an element beginning with '-') to `parser`, which removes
    /// it. Returns false when there is none.
    bool getFreeArgument(ArgumentParser& parser);

    /// Adds one line to the usage text.
    void addUsageDescription(const std::string& option, const std::string& description);

    /// Prints the usage text to standard output.
    void printUsage() const;

    /// Throws CommandLineException("invalid argument X") when an argument is left.
    void finish() const;

private:
    std::vector<std::pair<std::string, std::string>> usage;
    std::string programName;
    std::string executableName;
    std::list<std::string> arguments;
};

#endif

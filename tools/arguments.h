// Argument readers shared by the zentrova commands, built on the library's
// CommandLineParser.
//
// Pattern for a command:
//
//   CommandLineParser cl("zentrova NAME", argc, argv);
//   cl.addUsageDescription(...);            // one line per option
//   handleHelp(cl);                         // -h/--help: usage, exit 0
//   const int rightHand = requireHand(cl);  // --hand left|right
//   ... further options, then positional arguments (getFreeArgument) ...
//   cl.finish();                            // leftovers are an error
//
// Options must be taken before positional arguments: an element that follows
// an option is that option's value, never a positional argument.
#ifndef ZENTROVA_TOOL_ARGUMENTS_H
#define ZENTROVA_TOOL_ARGUMENTS_H

#include <cstdint>
#include <list>
#include <string>

#include "zentrova/util/CommandLineParser.h"

/// Takes one value; an option at the end of the line has none.
class StringArgument : public ArgumentParser {
public:
    void parse(std::list<std::string>::iterator position, std::list<std::string>& arguments) override;
    std::string value;
};

/// Takes one decimal integer within [minimum, maximum].
class NumberArgument : public ArgumentParser {
public:
    NumberArgument(int64_t minimum, int64_t maximum) : minimum(minimum), maximum(maximum) {}
    void parse(std::list<std::string>::iterator position, std::list<std::string>& arguments) override;
    int64_t value = 0;

private:
    int64_t minimum, maximum;
};

/// An option without value: parse() consumes nothing.
class FlagArgument : public ArgumentParser {
public:
    void parse(std::list<std::string>::iterator, std::list<std::string>&) override {}
};

/// Usage text of the --hand option, for addUsageDescription.
extern const char* const kHandUsage;

/// Prints the usage and ends the command with status 0 when -h or --help is given.
void handleHelp(CommandLineParser& cl);

/// --hand left|right (required): 0 for the left-hand mouse, 1 for the right-hand one.
int requireHand(CommandLineParser& cl);

/// A required option with one value.
std::string requireString(CommandLineParser& cl, const std::string& shortName, const std::string& longName);

/// A required option with a number in [minimum, maximum].
int64_t requireNumber(CommandLineParser& cl, const std::string& shortName, const std::string& longName,
                      int64_t minimum, int64_t maximum);

/// The next positional argument; `what` names it in the error when it is missing.
std::string requirePositional(CommandLineParser& cl, const char* what);

/// True when the flag option is given (any number of times).
bool hasFlag(CommandLineParser& cl, const std::string& shortName, const std::string& longName);

#endif

#include "zentrova/util/CommandLineParser.h"

#include <cstdio>

ArgumentParser::~ArgumentParser() = default;

CommandLineParser::CommandLineParser(const std::string& programName, int argc, const char* const* argv)
    : programName(programName)
{
    if (!argv || argc < 1)
        return;
    if (argv[0])
        executableName = argv[0];
    for (int i = 1; i < argc; ++i) {
        if (argv[i])
            arguments.emplace_back(argv[i]);
    }
}

CommandLineParser::~CommandLineParser() = default;

const std::string& CommandLineParser::getExecutableName() const
{
    return executableName;
}

namespace {

bool isOption(const std::string& argument, const std::string& shortName, const std::string& longName)
{
    // An empty name stands for "no such spelling": it must not match an empty argument.
    return (!shortName.empty() && argument == shortName) || (!longName.empty() && argument == longName);
}

bool beginsWithDash(const std::string& s)
{
    return !s.empty() && s[0] == '-';
}

} // namespace

bool CommandLineParser::getArgument(const std::string& shortName, const std::string& longName,
                                    ArgumentParser& parser, bool multiple)
{
    std::string label = shortName;
    if (!shortName.empty() && !longName.empty())
        label += ", " + longName;
    else if (shortName.empty())
        label = longName;

    auto found = arguments.begin();
    while (found != arguments.end() && !isOption(*found, shortName, longName))
        ++found;
    if (found == arguments.end())
        return false;

    auto value = arguments.erase(found);
    try {
        parser.parse(value, arguments);
    } catch (const CommandLineException& e) {
        throw CommandLineException(label.c_str(), e.what());
    }
    if (multiple)
        return true;
    for (const auto& argument : arguments) {
        if (isOption(argument, shortName, longName))
            throw CommandLineException(label.c_str(), "duplicate option");
    }
    return true;
}

bool CommandLineParser::getFreeArgument(ArgumentParser& parser)
{
    bool afterOption = false;
    for (auto it = arguments.begin(); it != arguments.end(); ++it) {
        if (!beginsWithDash(*it) && !afterOption) {
            try {
                parser.parse(it, arguments);
            } catch (const CommandLineException& e) {
                throw CommandLineException("", e.what());
            }
            return true;
        }
        afterOption = beginsWithDash(*it);
    }
    return false;
}

void CommandLineParser::addUsageDescription(const std::string& option, const std::string& description)
{
    usage.emplace_back(option, description);
}

void CommandLineParser::printUsage() const
{
    std::printf("\n\nUSAGE: %s [options]\n", programName.c_str());
    std::printf("where [options] can be any of the following:\n\n");
    for (const auto& line : usage)
        std::printf("\n %-32s  -  %s\n", line.first.c_str(), line.second.c_str());
    std::fflush(stdout);
}

void CommandLineParser::finish() const
{
    if (!arguments.empty())
        throw CommandLineException(nullptr, ("invalid argument " + arguments.front()).c_str());
}

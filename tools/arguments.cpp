#include "arguments.h"

#include <cerrno>
#include <cstdlib>

#include "zentrova/util/RuntimeError.h"

const char* const kHandUsage = "--hand left|right";

void StringArgument::parse(std::list<std::string>::iterator position, std::list<std::string>& arguments)
{
    if (position == arguments.end())
        throw CommandLineException(nullptr, "missing value");
    value = *position;
    arguments.erase(position);
}

void NumberArgument::parse(std::list<std::string>::iterator position, std::list<std::string>& arguments)
{
    if (position == arguments.end())
        throw CommandLineException(nullptr, "missing value");
    const std::string text = *position;
    errno = 0;
    char* end = nullptr;
    const long long number = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || number < minimum || number > maximum) {
        const std::string message = "'" + text + "' is not a number from " + std::to_string(minimum) + " to " +
                                    std::to_string(maximum);
        throw CommandLineException(nullptr, message.c_str());
    }
    value = number;
    arguments.erase(position);
}

void handleHelp(CommandLineParser& cl)
{
    FlagArgument flag;
    if (cl.getArgument("-h", "--help", flag, true)) {
        cl.printUsage();
        exit_success();
    }
}

bool hasFlag(CommandLineParser& cl, const std::string& shortName, const std::string& longName)
{
    FlagArgument flag;
    bool found = false;
    while (cl.getArgument(shortName, longName, flag, true))
        found = true;
    return found;
}

int requireHand(CommandLineParser& cl)
{
    StringArgument hand;
    if (!cl.getArgument("", "--hand", hand))
        throw CommandLineException("--hand", "required option missing (left or right)");
    if (hand.value == "left")
        return 0;
    if (hand.value == "right")
        return 1;
    throw CommandLineException("--hand", ("'" + hand.value + "' is neither left nor right").c_str());
}

static std::string label(const std::string& shortName, const std::string& longName)
{
    if (shortName.empty())
        return longName;
    return longName.empty() ? shortName : shortName + ", " + longName;
}

std::string requireString(CommandLineParser& cl, const std::string& shortName, const std::string& longName)
{
    StringArgument value;
    if (!cl.getArgument(shortName, longName, value))
        throw CommandLineException(label(shortName, longName).c_str(), "required option missing");
    return value.value;
}

int64_t requireNumber(CommandLineParser& cl, const std::string& shortName, const std::string& longName,
                      int64_t minimum, int64_t maximum)
{
    NumberArgument value(minimum, maximum);
    if (!cl.getArgument(shortName, longName, value))
        throw CommandLineException(label(shortName, longName).c_str(), "required option missing");
    return value.value;
}

std::string requirePositional(CommandLineParser& cl, const char* what)
{
    StringArgument value;
    if (!cl.getFreeArgument(value))
        throw CommandLineException(nullptr, (std::string("missing ") + what).c_str());
    return value.value;
}

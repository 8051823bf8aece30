// "zentrova lint PROFILE.json [--hand H] [--profile P] [--strict]": check a
// configurator profile file and report what would not reach the mouse as
// written.
#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "arguments.h"
#include "command.h"
#include "lint.h"

namespace {

int lintCommand(int argc, char** argv)
{
    CommandLineParser cl("zentrova lint", argc, argv);
    cl.addUsageDescription("PROFILE.json", "configurator profile file to check");
    cl.addUsageDescription("--hand left|right", "check only this hand's entry (default: both)");
    cl.addUsageDescription("-p, --profile NAME", "check only this profile (default: every profile)");
    cl.addUsageDescription("--strict", "warnings fail the check too");
    cl.addUsageDescription("-h, --help", "print this text");
    handleHelp(cl);
    LintRequest request;
    StringArgument hand, profile;
    if (cl.getArgument("", "--hand", hand)) {
        if (hand.value != "left" && hand.value != "right")
            throw CommandLineException("--hand", ("'" + hand.value + "' is neither left nor right").c_str());
        request.hand = hand.value == "right" ? zentrova::Hand::Right : zentrova::Hand::Left;
    }
    if (cl.getArgument("-p", "--profile", profile))
        request.profile = profile.value;
    request.strict = hasFlag(cl, "", "--strict");
    request.file = requirePositional(cl, "PROFILE.json");
    cl.finish();
    request.colour = isatty(STDOUT_FILENO) && std::getenv("NO_COLOR") == nullptr;
    return runLint(request, std::cout, std::cerr);
}

ToolCommandRegistration lint({"lint", "check a configurator JSON file and report its problems by line", lintCommand});

} // namespace

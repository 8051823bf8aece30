// Command registry of the zentrova tool. Each command family lives in its own
// file and registers its commands with a static ToolCommandRegistration.
#ifndef ZENTROVA_TOOL_COMMAND_H
#define ZENTROVA_TOOL_COMMAND_H

#include <cstdio>
#include <vector>

struct ToolCommand {
    const char* name;     // first word on the command line, e.g. "compile"
    const char* synopsis; // one line shown by "zentrova --help"
    // Runs the command. argv[0] is the command name; the result is the exit code.
    int (*run)(int argc, char** argv);
};

// All registered commands, in registration order.
std::vector<ToolCommand>& toolCommands();

// "zentrova VERSION" on one line (zentrova --version).
void printToolVersion(FILE* out);

struct ToolCommandRegistration {
    explicit ToolCommandRegistration(const ToolCommand& command) { toolCommands().push_back(command); }
};

#endif

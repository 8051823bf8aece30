// zentrova: compile, inspect and send profiles and firmware to Zentrova mice.
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>

#include <CLI/CLI.hpp>

#include "command.h"
#include "generate.h"
#include "zentrova/util/CommandLineException.h"

std::vector<ToolCommand>& toolCommands()
{
    static std::vector<ToolCommand> commands;
    return commands;
}

static void printCommands(FILE* out)
{
    std::fprintf(out, "usage: zentrova COMMAND [ARGS...]\n\ncommands:\n");
    for (const auto& c : toolCommands())
        std::fprintf(out, "  %-10s %s\n", c.name, c.synopsis);
    std::fprintf(out, "\n'zentrova COMMAND --help' describes one command; 'zentrova --version' prints the version.\n");
}

int main(int argc, char** argv)
{
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        printCommands(stdout);
        return argc < 2 ? 2 : 0;
    }
    if (!std::strcmp(argv[1], "--version") || !std::strcmp(argv[1], "-V")) {
        printToolVersion(stdout);
        return 0;
    }
    if (!std::strcmp(argv[1], "generate")) {
        // Hidden: completion scripts and the manual page, run by the build.
        CLI::App app("compile, inspect and send profiles and firmware to Zentrova mice", "zentrova");
        for (const auto& c : toolCommands())
            app.add_subcommand(c.name, c.synopsis);
        return argc == 3 ? runGenerate(app, argv[2], std::cout) : 2;
    }
    for (const auto& c : toolCommands()) {
        if (!std::strcmp(c.name, argv[1])) {
            // A command ends with its result, with exit_success() (the unsigned
            // int 0), or with an exception: a bad command line exits 2, any
            // other failure 1.
            try {
                return c.run(argc - 1, argv + 1);
            } catch (unsigned int status) {
                return static_cast<int>(status);
            } catch (const CommandLineException& e) {
                const char* option = e.getOption();
                if (option && *option)
                    std::fprintf(stderr, "zentrova %s: %s: %s\n", c.name, option, e.what());
                else
                    std::fprintf(stderr, "zentrova %s: %s\n", c.name, e.what());
                std::fprintf(stderr, "Try 'zentrova %s --help'.\n", c.name);
                return 2;
            } catch (const std::exception& e) {
                std::fprintf(stderr, "zentrova %s: %s\n", c.name, e.what());
                return 1;
            } catch (...) {
                std::fprintf(stderr, "zentrova %s: unknown error\n", c.name);
                return 1;
            }
        }
    }
    std::fprintf(stderr, "zentrova: unknown command '%s'\n\n", argv[1]);
    printCommands(stderr);
    return 2;
}

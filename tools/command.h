// The zentrova command's definition: one CLI11 subcommand per command, each
// defined in the file of its command family through a static
// ToolCommandRegistration and run by main.cpp once the line is parsed.
//
//   void defineCheck(CLI::App& zentrova)
//   {
//       CLI::App* check = addCommand(zentrova, "check", "check that the mouse answers");
//       auto o = std::make_shared<Options>();
//       ... options on `check`, bound to *o ...
//       onRun(check, [o] { return runCheck(*o); });
//   }
//   ToolCommandRegistration reg(20, defineCheck);
//
// The run function returns the exit code, or throws ToolFailure (exit code
// of its cause) or UsageError (exit code 2); see exit_codes.h.
#ifndef ZENTROVA_TOOL_COMMAND_H
#define ZENTROVA_TOOL_COMMAND_H

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "zentrova/device/Session.h"

struct ToolCommandRegistration {
    /// Commands are listed in --help by rank, lowest first.
    ToolCommandRegistration(int rank, void (*define)(CLI::App& zentrova));
};

/// The whole command line of zentrova, every registered command defined.
std::unique_ptr<CLI::App> makeToolApp();

/// Parses and runs a command line; the result is the exit code.
int runTool(CLI::App& app, int argc, char** argv);

/// A subcommand of `parent` with its one-line purpose and the formatting,
/// help flag and option conventions of every zentrova command.
CLI::App* addCommand(CLI::App& parent, const std::string& name, const std::string& purpose);

/// What runs when `command` is the command given.
void onRun(CLI::App* command, std::function<int()> run);

/// Example lines shown at the end of the command's --help.
void addExamples(CLI::App* command, const std::vector<std::string>& lines);

/// An integer option within [lo, hi], shown as TYPE with the range and
/// (when not required) the default, the variable's value before parsing.
CLI::Option* addNumber(CLI::App* command, const std::string& names, int& value, int lo, int hi,
                       const std::string& type, const std::string& description);

/// Which mouse a command acts on: --hand right|left and --serial TEXT, both
/// optional when only one mouse is attached.
struct MouseChoice {
    std::string hand;   // "", "left" or "right"
    std::string serial; // "" when not given
    zentrova::Selector selector() const;
};
void addMouseOptions(CLI::App* command, MouseChoice& choice);

/// --hand right|left on its own; `what` says what the hand chooses.
CLI::Option* addHandOption(CLI::App* command, std::string& hand, const std::string& what);

/// The hand a --hand value names.
zentrova::Hand handOf(const std::string& word);
const char* handWord(zentrova::Hand hand);

/// "zentrova VERSION" on one line (zentrova --version).
std::string toolVersionLine();

#endif

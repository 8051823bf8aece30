// The exit codes of the zentrova command, one per kind of outcome, so that a
// script can tell "no mouse" from "bad file" without reading the messages.
#ifndef ZENTROVA_TOOL_EXIT_CODES_H
#define ZENTROVA_TOOL_EXIT_CODES_H

#include <stdexcept>
#include <string>

#include "zentrova/device/Result.h"

/// A bad command line (unknown option, missing or malformed value).
constexpr int kUsageExit = 2;

/// The exit code for an outcome of the library's device and file operations.
int exitCodeFor(zentrova::Cause cause);

/// One "CODE  meaning" line per code, for the manual page and the README.
const char* exitStatusTable();

/// "exit codes:" and exitStatusTable(), for --help.
std::string exitCodeTable();

/// Ends a command: main prints "zentrova COMMAND: <what()>" to standard
/// error and exits with exitCodeFor(cause).
class ToolFailure : public std::runtime_error {
public:
    ToolFailure(zentrova::Cause cause, const std::string& message) : std::runtime_error(message), cause(cause) {}
    zentrova::Cause cause;
};

/// Throws a ToolFailure with the printf-style formatted message.
[[noreturn]] void fail(zentrova::Cause cause, const char* format, ...) __attribute__((format(printf, 2, 3)));

/// A bad command line found after parsing (a value the options' own checks
/// cannot judge): main prints it with the hint to --help and exits 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

#endif

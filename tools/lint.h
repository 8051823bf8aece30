// Checking configurator profile files: every profile the request selects is
// compiled and what the compiler found is reported, once per place.
#ifndef ZENTROVA_TOOL_LINT_H
#define ZENTROVA_TOOL_LINT_H

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "zentrova/profile/Compiler.h"

/// Exit status for a file that cannot be read or holds errors.
constexpr int kExitInvalidFile = 8;

struct LintRequest {
    std::string file;                    ///< the JSON file
    std::optional<zentrova::Hand> hand;  ///< none: both hands
    std::optional<std::string> profile;  ///< none: every profile of the file
    bool strict = false;                 ///< warnings fail too
    bool colour = false;
};

struct DiagnosticCounts {
    size_t errors = 0, warnings = 0, infos = 0;
};

DiagnosticCounts countDiagnostics(const std::vector<zentrova::Diagnostic>& diagnostics);

/// "1 error, 2 warnings, 1 info".
std::string describeCounts(const DiagnosticCounts& counts);

/// What checking a file found: its diagnostics, each place once, in the
/// order of their lines.
struct LintFindings {
    std::string readError;                      ///< why the file cannot be read; then nothing else is set
    std::string text;                           ///< the file's content
    std::vector<zentrova::Diagnostic> diagnostics;
    size_t profilesChecked = 0;                 ///< 0 when the request selects no profile of the file
};

LintFindings lintFile(const LintRequest& request);

/// Whether the findings fail the check: an error, or (strict) a warning.
bool lintFailed(const LintRequest& request, const DiagnosticCounts& counts);

/// Reports the diagnostics of the selected profiles on `out` and a summary
/// line; a file that cannot be read on `err`. Returns 0, or
/// kExitInvalidFile for an unreadable file, an error, or (strict) a warning.
int runLint(const LintRequest& request, std::ostream& out, std::ostream& err);

#endif

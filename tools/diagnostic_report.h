// Compiler diagnostics as compilers print them:
//
//   office.json:12:21: error: DPI level 2 of -800 is outside 0..65535; the mouse would get 64736 [at /testData/0/profiles/0/_dpi_data/dpi2]
//      12 |             "dpi2": -800,
//         |             ^
//
// A pure function of its arguments: the source text is the JSON the
// diagnostics were made from, the name is what the report calls it.
#ifndef ZENTROVA_TOOL_DIAGNOSTIC_REPORT_H
#define ZENTROVA_TOOL_DIAGNOSTIC_REPORT_H

#include <ostream>
#include <string>
#include <vector>

#include "zentrova/profile/Compiler.h"

/// "error", "warning" or "info".
const char* severityWord(zentrova::Diagnostic::Severity severity);

/// One diagnostic: its line, and for a diagnostic with a place the source
/// line (cut to a window around the column when long) with a caret under
/// the column. `colour` adds terminal colours.
void reportDiagnostic(const std::string& source, const std::string& fileName, const zentrova::Diagnostic& d,
                      std::ostream& out, bool colour = false);

/// Every diagnostic in turn.
void reportDiagnostics(const std::string& source, const std::string& fileName,
                       const std::vector<zentrova::Diagnostic>& diagnostics, std::ostream& out, bool colour = false);

#endif

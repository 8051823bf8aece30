// Compiling a profile for the compile and apply commands: read the file,
// compile, report the diagnostics; only an image without errors comes back.
#ifndef ZENTROVA_TOOL_COMPILE_H
#define ZENTROVA_TOOL_COMPILE_H

#include <string>

#include "zentrova/profile/Compiler.h"

struct CompileRequest {
    std::string json;     // the configurator file
    std::string hand;     // "left" or "right"
    std::string profile;  // profile name
    bool verbose = false; // the generator's progress and log lines on standard output, and information
    bool strict = false;  // warnings fail too
};

/// The compiled profile. Diagnostics go to standard error, each with its
/// place in the file and the source line. Throws a ToolFailure when the file
/// cannot be read (UnreadableFile) or the profile does not compile to an
/// image without errors, or with `strict` without warnings (InvalidFile).
zentrova::CompileResult compileForTool(const CompileRequest& request);

#endif

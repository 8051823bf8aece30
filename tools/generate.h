// `zentrova generate bash|zsh|fish|man`: the completion scripts and the
// manual page, written from the command's own CLI11 definition at build time.
#ifndef ZENTROVA_TOOL_GENERATE_H
#define ZENTROVA_TOOL_GENERATE_H

#include <ostream>
#include <string>

namespace CLI {
class App;
}

// Writes what ("bash", "zsh", "fish" or "man") for the command defined by
// root; 0 on success, 2 for an unknown what (with a message on stderr).
int runGenerate(const CLI::App& root, const std::string& what, std::ostream& out);

#endif

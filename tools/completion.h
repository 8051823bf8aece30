// Completion scripts for bash, zsh and fish, written from a command's
// description: its commands, options, the values an option takes (a fixed
// set, or files of an extension) and its positional arguments. The scripts
// hold everything they offer; they do not run the program.
#ifndef ZENTROVA_TOOL_COMPLETION_H
#define ZENTROVA_TOOL_COMPLETION_H

#include <ostream>

#include "command_model.h"

namespace docs {

// For bash-completion's completions/ folder: defines _NAME and `complete -F`s it.
void writeBashCompletion(const Command& root, std::ostream& out);
// For zsh's vendor-completions/ (or site-functions/) folder as _NAME.
void writeZshCompletion(const Command& root, std::ostream& out);
// For fish's vendor_completions.d/ folder as NAME.fish.
void writeFishCompletion(const Command& root, std::ostream& out);

inline void writeBashCompletion(const CLI::App& app, std::ostream& out) { writeBashCompletion(describe(app), out); }
inline void writeZshCompletion(const CLI::App& app, std::ostream& out) { writeZshCompletion(describe(app), out); }
inline void writeFishCompletion(const CLI::App& app, std::ostream& out) { writeFishCompletion(describe(app), out); }

} // namespace docs

#endif

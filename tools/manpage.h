// Manual pages in roff (man macros) written from a command's description:
// NAME, SYNOPSIS, DESCRIPTION, OPTIONS, COMMANDS (each with its options),
// EXIT STATUS, the command's further sections and SEE ALSO.
#ifndef ZENTROVA_TOOL_MANPAGE_H
#define ZENTROVA_TOOL_MANPAGE_H

#include <ostream>

#include "command_model.h"

namespace docs {

// The page's date is SOURCE_DATE_EPOCH's day when that is set (reproducible
// builds), otherwise the page has none.
void writeManPage(const Command& command, std::ostream& out, int section = 1);

} // namespace docs

#endif

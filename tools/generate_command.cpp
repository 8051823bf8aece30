// "zentrova generate bash|zsh|fish|man" (hidden): the completion scripts and
// the manual page, written from this very command line definition; the build
// runs it to write them.
#include <iostream>

#include "command.h"
#include "generate.h"

namespace {

void defineGenerate(CLI::App& zentrova)
{
    CLI::App* generate = zentrova.add_subcommand("generate", "write a shell completion script or the manual page");
    generate->group(""); // hidden: neither in --help nor in what it writes
    auto format = std::make_shared<std::string>();
    generate->add_option("FORMAT", *format, "bash, zsh, fish or man")
        ->check(CLI::IsMember({"bash", "zsh", "fish", "man"}))
        ->required();
    onRun(generate, [&zentrova, format] { return runGenerate(zentrova, *format, std::cout); });
}

ToolCommandRegistration registration(2000, defineGenerate);

} // namespace

#include "generate.h"

#include <iostream>

#include "completion.h"
#include "exit_codes.h"
#include "manpage.h"
#include "zentrova/version.h"

int runGenerate(const CLI::App& root, const std::string& what, std::ostream& out)
{
    docs::Command c = docs::describe(root);
    if (what == "bash") {
        docs::writeBashCompletion(c, out);
    } else if (what == "zsh") {
        docs::writeZshCompletion(c, out);
    } else if (what == "fish") {
        docs::writeFishCompletion(c, out);
    } else if (what == "man") {
        c.version = c.name + " " + ZENTROVA_VERSION_STRING;
        if (c.description.empty())
            c.description = c.name +
                            " compiles JSON mouse profiles into the profile images Zentrova mice run and inspects "
                            "them, uploads and activates profiles, sets LED effects and the polling rate, runs "
                            "stored programs, and packs, checks and sends firmware images.\n\n"
                            "Each task is a command; " +
                            c.name + " COMMAND --help describes one, " + c.name + " --version prints the version.";
        c.exitStatus = exitStatusTable();
        c.sections.push_back({"FILES", "70-zentrova.rules in udev's rules folder (installed with the library) "
                                       "gives the user at the local seat access to the mice. Without it the "
                                       "device node of a mouse is open to root only, and the commands that "
                                       "talk to a mouse end with exit status 4."});
        c.seeAlso = {"zentrova-sim(1)", "udev(7)"};
        docs::writeManPage(c, out);
    } else {
        std::cerr << c.name << " generate: unknown output '" << what << "' (bash, zsh, fish or man)\n";
        return 2;
    }
    out.flush();
    return out ? 0 : 1;
}

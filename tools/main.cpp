// zentrova: compile, inspect and send profiles and firmware to Zentrova mice.
#include "command.h"

int main(int argc, char** argv)
{
    const auto app = makeToolApp();
    return runTool(*app, argc, argv);
}

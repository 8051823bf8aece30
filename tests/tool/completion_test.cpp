// Completion scripts and manual pages written from a CLI11 definition shaped
// like the zentrova command's: the bash script is sourced and asked, the
// other outputs are checked by their own tools where those are installed.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <gtest/gtest.h>

#include "support/RunTool.h"
#include "tools/generate.h"

namespace {

struct Definition {
    CLI::App app{"compile and send mouse profiles", "zentrova"};
    std::string text;
    std::vector<std::string> files;
    Definition()
    {
        app.add_option("--serial", text, "the mouse with serial number S")->type_name("S");
        CLI::App* compile = app.add_subcommand("compile", "compile a profile into an image");
        compile->add_option("profile", text, "the configurator's JSON file")->type_name("PROFILE.json")->required();
        compile->add_option("--hand", text, "which mouse")->check(CLI::IsMember({"right", "left"}));
        compile->add_option("-o,--output", text, "image to write")->type_name("IMAGE.zvmp");
        compile->add_flag("--strict", ".dot first, a \\ inside");
        CLI::App* dfu = app.add_subcommand("dfu", "firmware images");
        dfu->add_subcommand("pack", "pack a firmware image")->add_option("firmware", files, "")->type_name("FIRMWARE.bin");
        app.add_subcommand("generate", "")->group("");
    }
    std::string write(const TempDir& dir, const std::string& what)
    {
        std::ofstream out(dir.path(what));
        EXPECT_EQ(runGenerate(app, what, out), 0) << what;
        return dir.path(what);
    }
};

} // namespace

TEST(Completion, BashOffersCommandsOptionsValuesAndFilesByExtension)
{
    TempDir dir;
    Definition d;
    const std::string script = d.write(dir, "bash");
    for (const char* name : {"a.json", "b.bin", "c.txt", "x.zvmp"})
        std::ofstream(dir.path(name)) << "";
    std::filesystem::create_directory(dir.path("sub"));

    // Each case: the words on the command line, the last one being completed
    // (bash splits --hand=r into --hand, =, r), and the answer, sorted.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"zentrova ''", "compile dfu"},
        {"zentrova --serial ''", ""},
        {"zentrova --serial compile c", "compile"},
        {"zentrova compile --hand ''", "left right"},
        {"zentrova compile --hand = r", "right"},
        {"zentrova compile --hand=l", "--hand=left"},
        {"zentrova compile --st", "--strict"},
        {"zentrova compile --strict ''", "a.json sub"},
        {"zentrova compile -o ''", "sub x.zvmp"},
        {"zentrova --serial 7 compile --hand left -o x.zvmp a.json ''", ""},
        {"zentrova dfu ''", "pack"},
        {"zentrova dfu pack a.json ''", "b.bin sub"},
        {"zentrova gen", ""},
    };
    std::string driver = "cd " + dir.dir + " && source " + script +
                         " && ask() { COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); _zentrova;"
                         " printf '%s\\n' \"${COMPREPLY[@]}\" | sort | paste -sd ' '; }\n";
    for (const auto& c : cases)
        driver += "ask " + c.first + "\n";
    const RunResult r = runIn(dir, {"/bin/bash", "-c", driver});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream answers(r.out);
    for (const auto& c : cases) {
        std::string answer;
        std::getline(answers, answer);
        EXPECT_EQ(answer, c.second) << c.first;
    }
}

TEST(Completion, ZshFishAndManualPagePassTheirCheckers)
{
    TempDir dir;
    Definition d;
    // Each checker where it is installed.
    for (const std::string what : {"zsh", "fish", "man"}) {
        d.write(dir, what);
        const std::string check = what == "man" ? "groff -man -ww -z man" : what + " -n " + what;
        const RunResult r = runIn(dir, {"/bin/sh", "-c", "! command -v " + check.substr(0, check.find(' ')) + " >/dev/null || " + check});
        EXPECT_EQ(r.status, 0) << check << ": " << r.err;
        EXPECT_EQ(r.err, "") << check;
    }
    // fish answers as it would at a prompt.
    const RunResult fish = runIn(dir, {"/bin/sh", "-c", "! command -v fish >/dev/null || fish -c 'source fish; "
                                       "for q in \"zentrova \" \"zentrova compile --hand=\" \"zentrova dfu \"; "
                                       "complete -C $q | cut -f1 | string join \" \"; end'"});
    EXPECT_TRUE(fish.out.empty() || fish.out == "compile dfu\n--hand=left --hand=right\npack\n") << fish.out << fish.err;
    std::ostringstream out;
    EXPECT_EQ(runGenerate(d.app, "html", out), 2);

    // Each command's options under COMMANDS; the hidden one nowhere.
    const std::string page = dir.text("man");
    for (const char* expected : {".SS \\fBzentrova compile\\fR", "\\fB\\-\\-hand\\fR \\fIHAND\\fR\nwhich mouse (right, left)",
                                 ".SS \\fBzentrova dfu pack\\fR", "\\&.dot first, a \\e inside"})
        EXPECT_NE(page.find(expected), std::string::npos) << expected;
    EXPECT_EQ(page.find("generate"), std::string::npos);
}

// The zentrova command's diagnostic report, lint run and binding
// descriptions, called in process on real compiler results.
#include <algorithm>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "binding_description.h"
#include "diagnostic_report.h"
#include "lint.h"
#include "support/TempDir.h"

namespace {

using zentrova::Diagnostic;
using Severity = Diagnostic::Severity;

const std::string kExamples = ZENTROVA_SOURCE_DIR "/examples/profiles/";

std::string report(const std::string& source, const Diagnostic& d, bool colour = false)
{
    std::ostringstream out;
    reportDiagnostic(source, "p.json", d, out, colour);
    return out.str();
}

TEST(DiagnosticReport, LineColumnPointerAndCaret)
{
    const std::string longLine = "[" + std::string(150, ' ') + "x" + std::string(150, ' ') + "]";
    const struct {
        std::string source;
        Diagnostic d;
        std::string expected;
    } cases[] = {
        {"{\n  \"dpi0\": -800\n}", {Severity::Error, "too low", 2, 3, "/dpi0"},
         "p.json:2:3: error: too low [at /dpi0]\n 2 |   \"dpi0\": -800\n   |   ^\n"},
        {"x\nx\nx\nx\nx\nx\nx\nx\nx\n\t\"é\": 1\n", {Severity::Warning, "w", 10, 6, ""},
         "p.json:10:6: warning: w\n 10 | \t\"é\": 1\n    | \t   ^\n"},
        {"{}", {Severity::Info, "no place", 0, 0, "/a"}, "p.json: info: no place [at /a]\n"},
        {longLine, {Severity::Error, "e", 1, 152, ""},
         "p.json:1:152: error: e\n 1 | ..." + std::string(50, ' ') + "x" + std::string(49, ' ') + "...\n   | " +
             std::string(53, ' ') + "^\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(report(c.source, c.d), c.expected);
    EXPECT_EQ(report("{}", {Severity::Error, "e", 1, 1, ""}, true),
              "\033[1mp.json:1:1: \033[0m\033[1;31merror:\033[0m e\n 1 | {}\n   | \033[1;32m^\033[0m\n");

    // A syntax error as the compiler places it.
    const std::string broken = "{\"testData\": [\n  {\"name\": \"Right Mouse\",, }]}";
    const zentrova::CompileResult r = zentrova::compileProfile(broken, zentrova::Hand::Right, "P");
    ASSERT_EQ(r.diagnostics.size(), 1u);
    const std::string text = report(broken, r.diagnostics[0]);
    EXPECT_EQ(text.substr(0, 12), "p.json:2:26:") << text;
    EXPECT_NE(text.find("does not parse"), std::string::npos) << text;
    EXPECT_NE(text.find("\n   |                          ^\n"), std::string::npos) << text;
}

TEST(Lint, ExitStatusAndOneReportPerPlace)
{
    TempDir dir;
    const std::string office = kExamples + "office.json";
    std::ifstream in(office);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto write = [&dir](const std::string& name, const std::string& content) {
        std::ofstream(dir.path(name)) << content;
        return dir.path(name);
    };
    const std::string badDpi = write("bad.json", std::string(text).replace(text.find("\"dpi1\": 1200"), 12,
                                                                            "\"dpi1\": -1200"));
    const auto left = std::optional<zentrova::Hand>(zentrova::Hand::Left);
    const struct {
        std::string file;
        std::optional<zentrova::Hand> hand;
        std::optional<std::string> profile;
        bool strict;
        int status;
        std::string summary;  // end of the output
    } cases[] = {
        {kExamples + "shooter.json", {}, {}, true, 0, "4 profiles checked: 0 errors, 0 warnings, 5 infos\n"},
        {kExamples + "mmo.json", {}, "Raid", false, 0, "2 profiles checked: 0 errors, 2 warnings, 3 infos\n"},
        {kExamples + "mmo.json", left, {}, true, 8, "2 profiles checked: 0 errors, 1 warning, 3 infos\n"},
        {badDpi, {}, {}, false, 8, "1 profile checked: 1 error, 0 warnings, 2 infos\n"},
        {badDpi, left, {}, false, 0, "0 profiles checked: 0 errors, 1 warning, 1 info\n"},
        {write("broken.json", "{\"testData\": [}"), {}, {}, false, 8, "0 profiles checked: 1 error, 0 warnings, 0 infos\n"},
        {dir.path("none.json"), {}, {}, false, 8, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        LintRequest request;
        request.file = c.file;
        request.hand = c.hand;
        request.profile = c.profile;
        request.strict = c.strict;
        std::ostringstream out, err;
        EXPECT_EQ(runLint(request, out, err), c.status);
        const std::string o = out.str();
        EXPECT_EQ(o.substr(o.size() - std::min(o.size(), c.summary.size())), c.summary) << o;
        EXPECT_EQ(err.str().find("none.json") != std::string::npos, c.summary.empty()) << err.str();
        // The document's root is shared by every profile and reported once.
        const size_t root = o.find("[at /version]");
        EXPECT_EQ(root == std::string::npos ? root : o.find("[at /version]", root + 1), std::string::npos);
    }
}

// Every program the compiler writes for the example profiles is described,
// some of them word for word.
TEST(BindingDescription, ExampleProfiles)
{
    const struct {
        std::string file, profile;
        zentrova::Hand hand;
        std::vector<std::pair<unsigned, std::string>> expected;  // index, text
    } cases[] = {
        {"office.json", "Work", zentrova::Hand::Right,
         {{6, "mouse, leftcontrol+left button, down"}, {14, "mouse, button 4 (back: leftalt+leftarrow)"},
          {18, "mouse, left double click"}, {27, "key, leftcontrol+c, up"}, {48, "mouse, scroll down"},
          {50, "dpi, up"}}},
        {"mmo.json", "Raid", zentrova::Hand::Left,
         {{6, "macro, runs the macro of program 65, normal, once, interruptible, pause 775 between runs"},
          {14, "macro, runs the macro of program 66, toggle, pause 670 between runs"},
          {19, "macro, runs the macro of program 68, while pressed, stop, pause 650 between runs"},
          {34, "key repeater, repeater 1 sends leftcontrol+alpha3 (program 75), toggle, pause 200..260"},
          {42, "key repeater, repeater 5 sends middle button (program 79), normal, 20 times, pause 33..33"},
          {48, "key, tab, struck"}, {51, "profile, switch to profile 1"}, {55, "joystick, off, centred first"},
          {65, "macro body, 20 steps (5 key presses, 0 button presses, 0 scrolls, 675 delay in all), started by "
               "program 6"},
          {78, "key repeater stroke, sends leftalt+q, started by program 40, 41"}}},
        {"shooter.json", "Sniper", zentrova::Hand::Right, {{14, "key, leftshift, down"}}},
        {"shooter.json", "Default", zentrova::Hand::Left, {}},
        {"mmo.json", "Solo", zentrova::Hand::Right, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file + " " + c.profile);
        const zentrova::CompileResult r = zentrova::compileProfileFile(kExamples + c.file, c.hand, c.profile);
        ASSERT_TRUE(r.ok());
        const std::vector<BindingDescription> all = describeBindings(*r.image);
        ASSERT_EQ(all.size(), r.image->programs.size());
        for (const BindingDescription& d : all) {
            EXPECT_NE(d.kind, "other") << int(d.index);
            EXPECT_FALSE(d.replaced);
        }
        for (const auto& [index, text] : c.expected) {
            const auto found = std::find_if(all.begin(), all.end(), [&](const auto& d) { return d.index == index; });
            ASSERT_NE(found, all.end()) << index;
            EXPECT_EQ(found->text, text);
        }
    }

    // What the image cannot tell is not guessed: an unknown pattern is
    // "other"; a program that a later one of its index replaces says so.
    zentrova::ProfileImage crafted;
    crafted.programs = {{6, 0, {0x43, 0x04}}, {6, 0, {0x43, 0x05, 0x5b}}, {7, 0, {}}};
    const std::vector<BindingDescription> d = describeBindings(crafted);
    EXPECT_TRUE(d[0].replaced);
    EXPECT_EQ(d[0].text, "key, a, down");
    EXPECT_EQ(d[0].input, "button 3 (configurator button 15)");
    EXPECT_EQ(d[1].kind, "other");
    EXPECT_EQ(d[2].kind, "empty");
    EXPECT_EQ(d[2].event, "release");
}

} // namespace

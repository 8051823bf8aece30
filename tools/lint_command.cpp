// "zentrova lint PROFILE.json [--hand H] [--profile P] [--strict] [--json]":
// check a configurator profile file and report what would not reach the
// mouse as written.
#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "command.h"
#include "diagnostic_report.h"
#include "json_output.h"
#include "lint.h"

namespace {

struct Options {
    LintRequest request;
    std::string hand, profile;
    bool json = false;
};

int printJson(const LintRequest& request)
{
    const LintFindings found = lintFile(request);
    if (!found.readError.empty()) {
        std::cerr << "zentrova lint: " << found.readError << '\n';
        return kExitInvalidFile;
    }
    const DiagnosticCounts counts = countDiagnostics(found.diagnostics);
    JsonOutput j;
    j.writer.StartObject();
    j.field("file", request.file);
    j.field("profilesChecked", found.profilesChecked);
    j.field("errors", counts.errors);
    j.field("warnings", counts.warnings);
    j.field("infos", counts.infos);
    j.key("diagnostics");
    j.writer.StartArray();
    for (const zentrova::Diagnostic& d : found.diagnostics) {
        j.writer.StartObject();
        j.field("severity", severityWord(d.severity));
        j.field("message", d.message);
        j.field("line", d.line);
        j.field("column", d.column);
        j.field("path", d.path);
        j.writer.EndObject();
    }
    j.writer.EndArray();
    j.writer.EndObject();
    j.print();
    return lintFailed(request, counts) ? kExitInvalidFile : 0;
}

int runLintCommand(Options& o)
{
    if (!o.hand.empty())
        o.request.hand = handOf(o.hand);
    if (!o.profile.empty())
        o.request.profile = o.profile;
    if (o.json)
        return printJson(o.request);
    o.request.colour = isatty(STDOUT_FILENO) && std::getenv("NO_COLOR") == nullptr;
    return runLint(o.request, std::cout, std::cerr);
}

void defineLint(CLI::App& zentrova)
{
    CLI::App* lint = addCommand(zentrova, "lint", "check a configurator JSON file and report its problems by line");
    auto o = std::make_shared<Options>();
    lint->add_option("PROFILE.json", o->request.file, "configurator profile file to check")
        ->type_name("PROFILE.json")
        ->required();
    addHandOption(lint, o->hand, "check only this hand's entry (default: both)");
    lint->add_option("-p,--profile", o->profile, "check only this profile (default: every profile)")
        ->type_name("NAME");
    lint->add_flag("--strict", o->request.strict, "warnings fail the check too");
    lint->add_flag("--json", o->json, "print one JSON object");
    addExamples(lint, {"zentrova lint shooter.json", "zentrova lint shooter.json --hand right -p Sniper --strict"});
    onRun(lint, [o] { return runLintCommand(*o); });
}

ToolCommandRegistration registration(15, defineLint);

} // namespace

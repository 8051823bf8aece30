// The zentrova command line on CLI11: the help layout every command shares,
// the registry of commands, and parsing with exit codes by cause.
#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>
#include <utility>

#include "command.h"
#include "exit_codes.h"
#include "zentrova/version.h"

namespace {

// The help text of a command:
//
//   <purpose>
//
//   usage: zentrova NAME POSITIONAL... --required VALUE [options]
//
//   arguments:
//     ...
//   options:
//     --name TYPE    what it sets, units (required | default: X)
//
//   <examples, or for zentrova itself the exit codes>
class ToolFormatter : public CLI::Formatter {
public:
    ToolFormatter()
    {
        label("Positionals", "arguments");
        label("Subcommands", "commands");
        column_width(26);
    }

    std::string make_description(const CLI::App* app) const override
    {
        return app->get_description().empty() ? std::string() : app->get_description() + "\n\n";
    }

    std::string make_usage(const CLI::App* app, std::string) const override
    {
        std::string out = "usage: " + fullName(app);
        for (const CLI::Option* opt : app->get_options([](const CLI::Option* o) { return o->get_positional(); }))
            out += " " + make_option_usage(opt);
        bool optional = false;
        for (const CLI::Option* opt : app->get_options([](const CLI::Option* o) { return o->nonpositional(); })) {
            if (opt->get_required())
                out += " " + opt->get_name(false, false) + make_option_opts(opt);
            else
                optional = true;
        }
        if (optional)
            out += " [options]";
        if (!app->get_subcommands([](const CLI::App* s) { return !s->get_group().empty(); }).empty())
            out += app->get_require_subcommand_min() ? " COMMAND" : " [COMMAND]";
        return out + "\n";
    }

    std::string make_option_opts(const CLI::Option* opt) const override
    {
        if (opt->get_positional())
            return std::string();
        if (!opt->get_option_text().empty())
            return " " + opt->get_option_text();
        // Without the choices CLI11 appends ("right|left:{right,left}"): the
        // type name shows them already.
        const std::string type = opt->get_type_name();
        return opt->get_type_size() == 0 ? std::string() : " " + type.substr(0, type.find(":{"));
    }

    std::string make_option_name(const CLI::Option* opt, bool positional) const override
    {
        std::string name = CLI::Formatter::make_option_name(opt, positional);
        for (size_t comma = name.find(','); comma != std::string::npos; comma = name.find(',', comma + 2))
            name.insert(comma + 1, " ");
        return name;
    }

    std::string make_option_desc(const CLI::Option* opt) const override
    {
        std::string desc = opt->get_description();
        if (opt->get_required() && opt->nonpositional())
            desc += " (required)";
        else if (!opt->get_default_str().empty())
            desc += " (default: " + opt->get_default_str() + ")";
        return desc;
    }

    std::string make_footer(const CLI::App* app) const override
    {
        return app->get_footer().empty() ? std::string() : app->get_footer();
    }

    static std::string fullName(const CLI::App* app)
    {
        std::string name = app->get_name();
        for (const CLI::App* p = app->get_parent(); p; p = p->get_parent())
            name = p->get_name() + " " + name;
        return name;
    }
};

std::vector<std::pair<int, void (*)(CLI::App&)>>& definitions()
{
    static std::vector<std::pair<int, void (*)(CLI::App&)>> list;
    return list;
}

std::map<const CLI::App*, std::function<int()>>& runs()
{
    static std::map<const CLI::App*, std::function<int()>> map;
    return map;
}

// The command given: the innermost subcommand parsed.
const CLI::App* selectedCommand(const CLI::App& app)
{
    const CLI::App* at = &app;
    while (!at->get_subcommands().empty())
        at = at->get_subcommands().front();
    return at;
}

int usageError(const CLI::App* command, const std::string& message)
{
    const std::string name = ToolFormatter::fullName(command);
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", name.c_str(), message.c_str(), name.c_str());
    return kUsageExit;
}

// "zentrova help [COMMAND...]".
void defineHelp(CLI::App& zentrova)
{
    CLI::App* help = addCommand(zentrova, "help", "describe zentrova or one of its commands");
    auto words = std::make_shared<std::vector<std::string>>();
    help->add_option("COMMAND", *words, "the command to describe, e.g. compile or dfu pack");
    addExamples(help, {"zentrova help upload", "zentrova help dfu verify"});
    onRun(help, [&zentrova, words] {
        const CLI::App* at = &zentrova;
        for (const std::string& word : *words) {
            const CLI::App* sub = nullptr;
            try {
                sub = at->get_subcommand(word);
            } catch (const CLI::OptionNotFound&) {
            }
            if (!sub || sub->get_group().empty())
                throw UsageError("no command '" + word + "'");
            at = sub;
        }
        // (App::help would describe the command parsed: help itself.)
        std::fputs(at->get_formatter()->make_help(at, at->get_name(), CLI::AppFormatMode::Normal).c_str(), stdout);
        return 0;
    });
}

ToolCommandRegistration helpRegistration(1000, defineHelp);

} // namespace

ToolCommandRegistration::ToolCommandRegistration(int rank, void (*define)(CLI::App&))
{
    definitions().emplace_back(rank, define);
}

std::string toolVersionLine()
{
    return std::string("zentrova ") + ZENTROVA_VERSION_STRING;
}

CLI::App* addCommand(CLI::App& parent, const std::string& name, const std::string& purpose)
{
    CLI::App* command = parent.add_subcommand(name, purpose);
    command->set_help_flag("-h,--help", "print this text and exit");
    command->group("commands");
    return command;
}

void onRun(CLI::App* command, std::function<int()> run) { runs()[command] = std::move(run); }

void addExamples(CLI::App* command, const std::vector<std::string>& lines)
{
    std::string text = lines.size() == 1 ? "example:\n" : "examples:\n";
    for (const std::string& line : lines)
        text += "  " + line + "\n";
    command->footer(text);
}

CLI::Option* addNumber(CLI::App* command, const std::string& names, int& value, int lo, int hi,
                       const std::string& type, const std::string& description)
{
    CLI::Option* opt = command->add_option(names, value, description + ", " + std::to_string(lo) + " to " +
                                                             std::to_string(hi));
    opt->type_name(type)->check(CLI::Range(lo, hi).description(""));
    return opt;
}

CLI::Option* addHandOption(CLI::App* command, std::string& hand, const std::string& what)
{
    return command->add_option("--hand", hand, what)
        ->type_name("right|left")
        ->check(CLI::IsMember({"right", "left"}));
}

void addMouseOptions(CLI::App* command, MouseChoice& choice)
{
    addHandOption(command, choice.hand, "the mouse of this hand (needed when both are attached)");
    command->add_option("--serial", choice.serial, "the mouse with this serial number (see 'zentrova list')")
        ->type_name("TEXT");
}

zentrova::Selector MouseChoice::selector() const
{
    zentrova::Selector s;
    if (!hand.empty())
        s.hand = handOf(hand);
    if (!serial.empty())
        s.serialNumber = serial;
    return s;
}

zentrova::Hand handOf(const std::string& word) { return word == "left" ? zentrova::Hand::Left : zentrova::Hand::Right; }

const char* handWord(zentrova::Hand hand) { return hand == zentrova::Hand::Left ? "left" : "right"; }

std::unique_ptr<CLI::App> makeToolApp()
{
    auto app = std::make_unique<CLI::App>("compile, inspect and send profiles and firmware to Zentrova mice",
                                          "zentrova");
    app->formatter(std::make_shared<ToolFormatter>());
    app->option_defaults()->group("options");
    app->set_help_flag("-h,--help", "print this text and exit");
    app->set_version_flag("-V,--version", toolVersionLine() + " (libzentrova " + ZENTROVA_VERSION_STRING + ")",
                          "print the version of the command and the library");
    app->require_subcommand(1);
    app->footer("'zentrova help COMMAND' or 'zentrova COMMAND --help' describes one command.\n\n" +
                exitCodeTable());
    std::vector<std::pair<int, void (*)(CLI::App&)>> sorted = definitions();
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& d : sorted)
        d.second(*app);
    return app;
}

int runTool(CLI::App& app, int argc, char** argv)
{
    if (argc < 2) {
        std::fputs(app.help().c_str(), stderr);
        return kUsageExit;
    }
    if (argv[1][0] != '-') {
        try {
            app.get_subcommand(argv[1]);
        } catch (const CLI::OptionNotFound&) {
            std::fprintf(stderr, "zentrova: unknown command '%s'\nTry 'zentrova --help'.\n", argv[1]);
            return kUsageExit;
        }
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(selectedCommand(app)->help().c_str(), stdout);
        return 0;
    } catch (const CLI::CallForVersion& e) {
        std::printf("%s\n", e.what());
        return 0;
    } catch (const CLI::ParseError& e) {
        const CLI::App* command = selectedCommand(app);
        if (command->get_require_subcommand_min() > 0 && command->get_subcommands().empty()) {
            std::string names;
            for (const CLI::App* sub : command->get_subcommands({}))
                names += (names.empty() ? "" : ", ") + sub->get_name();
            return usageError(command, "a command is required: " + names);
        }
        return usageError(command, e.what());
    }
    const CLI::App* command = selectedCommand(app);
    const auto run = runs().find(command);
    if (run == runs().end()) // a command of commands ("zentrova dfu")
        return usageError(command, "a command is required");
    try {
        return run->second();
    } catch (const UsageError& e) {
        return usageError(command, e.what());
    } catch (const ToolFailure& e) {
        std::fprintf(stderr, "%s: %s\n", ToolFormatter::fullName(command).c_str(), e.what());
        return exitCodeFor(e.cause);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", ToolFormatter::fullName(command).c_str(), e.what());
        return 1;
    }
}

// zentrova-sim [OPTIONS] -- COMMAND [ARGS...]
//
// Runs an unmodified program with simulated Zentrova mice attached and, when
// it has exited, prints what each mouse holds. The program's own libusb talks
// to the mice through umockdev; this process answers its usbfs ioctls.
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "sim/MouseModel.h"
#include "sim/MouseReport.h"
#include "sim/Preload.h"
#include "sim/Testbed.h"
#include "sim/MouseProtocol.h"
#include "tools/command_model.h"
#include "tools/manpage.h"

extern char** environ;

using namespace zentrova::sim;

namespace {

constexpr int EXIT_LAUNCHER_ERROR = 125;
constexpr const char* USER_PRELOAD_VAR = "ZENTROVA_SIM_USER_PRELOAD";
constexpr const char* REEXEC_VAR = "ZENTROVA_SIM_REEXEC";

struct UsageError {
    std::string message;
};

unsigned long parseNumber(const std::string& option, const char* text, unsigned long max, int base = 0)
{
    if (!text || !*text)
        throw UsageError{option + " needs a value"};
    errno = 0;
    char* end = nullptr;
    unsigned long value = std::strtoul(text, &end, base);
    if (errno || *end || text[0] == '-' || value > max)
        throw UsageError{option + ": invalid value '" + text + "'"};
    return value;
}

unsigned parseCount(const std::string& option, const char* text)
{
    return static_cast<unsigned>(parseNumber(option, text, 0xFFFFFFFFul));
}

// "1.23" -> 0x0123: two BCD digits on each side of the point.
uint16_t parseFirmware(const char* text)
{
    unsigned major = 0, minor = 0;
    char tail = 0;
    const char* dot = text ? std::strchr(text, '.') : nullptr;
    if (!dot || std::sscanf(text, "%u.%u%c", &major, &minor, &tail) != 2 || major > 99 || minor > 99 ||
        std::strlen(dot + 1) != 2)
        throw UsageError{std::string("--firmware: expected X.YY (e.g. 1.23), got '") + (text ? text : "") + "'"};
    return static_cast<uint16_t>((major / 10) << 12 | (major % 10) << 8 | (minor / 10) << 4 | (minor % 10));
}

struct Options {
    std::vector<MouseConfig> mice;
    MouseConfig common;  // settings given before the first --right/--left
    bool anyMouse = false;
    std::string reportFile;
    bool transcript = false;
    bool quiet = false;
    bool help = false;
    std::string generate; // hidden --generate man: the manual page on standard output
    std::vector<char*> command;

    MouseConfig& current() { return anyMouse ? mice.back() : common; }
};

void addMouse(Options& o, bool right)
{
    MouseConfig m = o.common;
    m.rightHand = right;
    o.mice.push_back(m);
    o.anyMouse = true;
}

void setSlotSize(Options& o, const std::string& a, const std::string& v)
{
    const size_t eq = v.find('=');
    auto& limits = o.current().slotLimits;
    if (eq == std::string::npos) {
        const uint32_t size = static_cast<uint32_t>(parseNumber(a, v.c_str(), 0xFFFFFFFFul));
        for (auto& l : limits)
            l = size;
        return;
    }
    const unsigned slot = static_cast<unsigned>(parseNumber(a, v.substr(0, eq).c_str(), 255));
    const uint32_t size = static_cast<uint32_t>(parseNumber(a, v.substr(eq + 1).c_str(), 0xFFFFFFFFul));
    if (slot == 0 || slot > limits.size())
        throw UsageError{"--slot-size: no slot " + std::to_string(slot) + " (see --slots)"};
    limits[slot - 1] = size;
}

// The launcher's options, once: the parser, --help and zentrova-sim(1) all
// read this table.
struct OptionSpec {
    const char* names; // "-h,--help"
    const char* value; // value name; nullptr for a flag
    const char* group;
    const char* help;
    void (*apply)(Options&, const std::string& option, const char* value);
};

const char* const MICE = "Mice";
const char* const SETTINGS = "Mouse settings";
const char* const FAULTS = "Faults";
const char* const REPORT = "Report";

const OptionSpec OPTION_TABLE[] = {
    {"--right", nullptr, MICE, "attach a right-hand mouse (product 2, mouse ID 0)",
     [](Options& o, const std::string&, const char*) { addMouse(o, true); }},
    {"--left", nullptr, MICE, "attach a left-hand mouse (product 3, mouse ID 1)",
     [](Options& o, const std::string&, const char*) { addMouse(o, false); }},
    {"--firmware", "X.YY", SETTINGS, "firmware version the mouse reports (bcdDevice; default 1.23)",
     [](Options& o, const std::string&, const char* v) { o.current().bcdDevice = parseFirmware(v); }},
    {"--bcd-device", "HEX", SETTINGS, "bcdDevice as four hex digits, e.g. 0123",
     [](Options& o, const std::string& a, const char* v) {
         o.current().bcdDevice = static_cast<uint16_t>(parseNumber(a, v, 0xFFFF, 16));
     }},
    {"--product-id", "N", SETTINGS, "USB product ID instead of the hand's",
     [](Options& o, const std::string& a, const char* v) {
         o.current().productId = static_cast<uint16_t>(parseNumber(a, v, 0xFFFF));
     }},
    {"--mouse-id", "N", SETTINGS, "byte answered to the ID request instead of the hand's",
     [](Options& o, const std::string& a, const char* v) {
         o.current().mouseId = static_cast<int>(parseNumber(a, v, 0xFF));
     }},
    {"--manufacturer", "TEXT", SETTINGS, "manufacturer string (default \"Zentrova\")",
     [](Options& o, const std::string&, const char* v) { o.current().manufacturer = v; }},
    {"--product", "TEXT", SETTINGS, "product string",
     [](Options& o, const std::string&, const char* v) { o.current().product = v; }},
    {"--serial", "TEXT", SETTINGS, "serial-number string",
     [](Options& o, const std::string&, const char* v) { o.current().serialNumber = v; }},
    {"--no-strings", nullptr, SETTINGS, "the mouse has no string descriptors (indices 0)",
     [](Options& o, const std::string&, const char*) {
         o.current().iManufacturer = o.current().iProduct = o.current().iSerialNumber = 0;
     }},
    {"--slots", "N", SETTINGS, "number of profile slots, 1 to 255 (default 8)",
     [](Options& o, const std::string& a, const char* v) {
         const unsigned n = static_cast<unsigned>(parseNumber(a, v, 255));
         if (n == 0)
             throw UsageError{"--slots: at least 1"};
         auto& limits = o.current().slotLimits;
         limits.resize(n, limits.empty() ? 64 * 1024 : limits.back());
     }},
    {"--slot-size", "[N=]BYTES", SETTINGS, "size limit of every slot, or with N= of slot N only (default 65536)",
     [](Options& o, const std::string& a, const char* v) { setSlotSize(o, a, v); }},
    {"--dfu-max", "BYTES", SETTINGS, "largest firmware image the mouse accepts (default 262144)",
     [](Options& o, const std::string& a, const char* v) {
         o.current().dfuMaxSize = static_cast<uint32_t>(parseNumber(a, v, 0xFFFFFFFFul));
     }},
    {"--busy", "N", FAULTS, "every status handshake answers busy N times first",
     [](Options& o, const std::string& a, const char* v) {
         o.current().faults.busyPolls = static_cast<unsigned>(parseNumber(a, v, 1000000));
     }},
    {"--status-error-after", "K", FAULTS, "the first status poll after request K answers 2 (error)",
     [](Options& o, const std::string& a, const char* v) { o.current().faults.statusErrorAfter = parseCount(a, v); }},
    {"--stall-at", "K", FAULTS, "request K is stalled",
     [](Options& o, const std::string& a, const char* v) { o.current().faults.stallAt = parseCount(a, v); }},
    {"--no-answer-at", "K", FAULTS, "request K is never answered (the program's timeout fires)",
     [](Options& o, const std::string& a, const char* v) { o.current().faults.noAnswerAt = parseCount(a, v); }},
    {"--unplug-at", "K", FAULTS, "the mouse is unplugged when request K arrives",
     [](Options& o, const std::string& a, const char* v) { o.current().faults.unplugAt = parseCount(a, v); }},
    {"--short-at", "K", FAULTS, "request K moves one data byte less than asked",
     [](Options& o, const std::string& a, const char* v) { o.current().faults.shortAnswerAt = parseCount(a, v); }},
    {"--bad-status-at", "K", FAULTS, "request K, a status poll, answers an undefined status value",
     [](Options& o, const std::string& a, const char* v) { o.current().faults.badStatusAt = parseCount(a, v); }},
    {"--report", "FILE", REPORT, "write the report to FILE instead of standard error",
     [](Options& o, const std::string&, const char* v) { o.reportFile = v; }},
    {"--transcript", nullptr, REPORT, "list every vendor request each mouse received",
     [](Options& o, const std::string&, const char*) { o.transcript = true; }},
    {"--quiet", nullptr, REPORT, "print no report",
     [](Options& o, const std::string&, const char*) { o.quiet = true; }},
    {"-h,--help", nullptr, REPORT, "show this text and exit",
     [](Options& o, const std::string&, const char*) { o.help = true; }},
};

std::vector<std::string> namesOf(const OptionSpec& entry)
{
    std::vector<std::string> names;
    std::string all = entry.names;
    for (size_t at = 0; at <= all.size();) {
        const size_t comma = std::min(all.find(',', at), all.size());
        names.push_back(all.substr(at, comma - at));
        at = comma + 1;
    }
    return names;
}

docs::Command describeLauncher()
{
    docs::Command c;
    c.name = "zentrova-sim";
    c.summary = "run a program with simulated Zentrova mice attached";
    c.usage = {"[OPTIONS] -- COMMAND [ARGS...]"};
    c.description =
        "Runs COMMAND with simulated Zentrova mice attached and, when it exits, prints what each mouse holds. "
        "COMMAND is any program that uses libusb-1.0; it runs unmodified under umockdev's preload library "
        "(your own LD_PRELOAD is passed on to it after that library).";
    c.groups = {{MICE, "Default: one right-hand mouse."},
                {SETTINGS, "These apply to the mouse named last by --right or --left; given before the first of "
                           "those, they apply to every mouse."},
                {FAULTS, "K counts the mouse's vendor requests from 1, status polls included."},
                {REPORT, ""}};
    for (const auto& entry : OPTION_TABLE) {
        docs::Argument a;
        a.names = namesOf(entry);
        a.valueName = entry.value ? entry.value : "";
        a.group = entry.group;
        a.help = entry.help;
        c.options.push_back(a);
    }
    c.footer = "The report lists per mouse: stored profile slots with size and name, active slot, LED color, "
               "effect and parameters, polling rate, last program run and the size of the last firmware image "
               "received.";
    c.exitStatus = "COMMAND's own exit status, 128+N when it died of signal N; and:\n"
                   "  2    the options could not be read\n"
                   "  125  zentrova-sim itself failed\n"
                   "  127  COMMAND could not be run\n";
    c.version = std::string("zentrova-sim ") + ZENTROVA_SIM_VERSION;
    c.seeAlso = {"zentrova(1)", "umockdev-run(1)"};
    return c;
}

Options parse(int argc, char** argv)
{
    Options o;
    int i = 1;
    for (; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--") {
            ++i;
            break;
        }
        // --name=value or --name value
        const size_t eq = a.rfind("--", 0) == 0 ? a.find('=') : std::string::npos;
        const char* inlineValue = eq == std::string::npos ? nullptr : argv[i] + eq + 1;
        if (inlineValue)
            a.resize(eq);
        if (a == "--generate") {
            o.generate = inlineValue ? inlineValue : i + 1 < argc ? argv[++i] : "";
            return o;
        }
        const OptionSpec* entry = nullptr;
        for (const auto& s : OPTION_TABLE)
            for (const auto& name : namesOf(s))
                if (name == a)
                    entry = &s;
        if (!entry)
            throw UsageError{"unknown option '" + a + "'"};
        const char* value = inlineValue;
        if (entry->value && !value) {
            if (i + 1 >= argc)
                throw UsageError{a + " needs a value"};
            value = argv[++i];
        } else if (!entry->value && value) {
            throw UsageError{a + " takes no value"};
        }
        entry->apply(o, a, value);
        if (o.help)
            return o;
    }
    if (!o.anyMouse)
        o.mice.push_back(o.common);
    for (; i < argc; ++i)
        o.command.push_back(argv[i]);
    if (o.command.empty())
        throw UsageError{"no command given after --"};
    o.command.push_back(nullptr);
    return o;
}

std::string transcriptText(const MouseModel& mouse)
{
    std::string s = "  vendor requests:\n";
    unsigned n = 0;
    char line[160];
    for (const auto& r : mouse.vendorTranscript()) {
        const char* outcome = r.outcome == ControlRecord::Outcome::Stalled     ? " STALLED"
                              : r.outcome == ControlRecord::Outcome::NoAnswer  ? " NO ANSWER"
                              : r.outcome == ControlRecord::Outcome::Unplugged ? " UNPLUGGED"
                                                                               : "";
        std::snprintf(line, sizeof line, "    %4u %-16s type 0x%02x wIndex 0x%04x wLength %u", ++n,
                      protocol::requestName(r.setup.bRequest), r.setup.bmRequestType, r.setup.wIndex, r.setup.wLength);
        s += line;
        if (!r.answer.empty()) {
            s += " answer";
            for (size_t i = 0; i < r.answer.size() && i < 8; ++i) {
                std::snprintf(line, sizeof line, " %02x", r.answer[i]);
                s += line;
            }
        }
        s += outcome;
        s += "\n";
    }
    return s;
}

// The environment of the child: the preload first, then the user's own.
std::vector<std::string> childEnvironment(const std::string& userPreload)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("LD_PRELOAD=", 0) == 0 || entry.rfind("ASAN_OPTIONS=", 0) == 0 ||
            entry.rfind(std::string(USER_PRELOAD_VAR) + "=", 0) == 0 || entry.rfind(std::string(REEXEC_VAR) + "=", 0) == 0)
            continue;
        env.push_back(entry);
    }
    env.push_back("LD_PRELOAD=" + childPreload(userPreload));
    env.push_back("ASAN_OPTIONS=" + asanOptionsWithPreload(getenv("ASAN_OPTIONS")));
    return env;
}

// The user's own LD_PRELOAD, without the umockdev library this process added.
std::string takeUserPreload()
{
    if (const char* saved = getenv(USER_PRELOAD_VAR))
        return saved;
    std::string result;
    const char* current = getenv("LD_PRELOAD");
    std::string list = current ? current : "";
    size_t pos = 0;
    while (pos <= list.size()) {
        size_t end = list.find_first_of(": ", pos);
        if (end == std::string::npos)
            end = list.size();
        const std::string item = list.substr(pos, end - pos);
        if (!item.empty() && item.find("libumockdev-preload") == std::string::npos)
            result += (result.empty() ? "" : ":") + item;
        pos = end + 1;
    }
    return result;
}

int runChild(const Options& o, const std::string& userPreload)
{
    std::vector<std::string> envStrings = childEnvironment(userPreload);
    std::vector<char*> envp;
    for (auto& s : envStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGQUIT);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);

    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, o.command[0], nullptr, &attr, o.command.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        std::fprintf(stderr, "zentrova-sim: cannot run %s: %s\n", o.command[0], std::strerror(rc));
        return 127;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            std::fprintf(stderr, "zentrova-sim: waitpid: %s\n", std::strerror(errno));
            return EXIT_LAUNCHER_ERROR;
        }
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return EXIT_LAUNCHER_ERROR;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    try {
        options = parse(argc, argv);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "zentrova-sim: %s\n(zentrova-sim --help lists the options)\n", e.message.c_str());
        return 2;
    }
    if (options.help) {
        docs::writeHelp(describeLauncher(), std::cout);
        return std::cout.flush() ? 0 : 1;
    }
    if (!options.generate.empty()) {
        if (options.generate != "man") {
            std::fprintf(stderr, "zentrova-sim: --generate: only man\n");
            return 2;
        }
        docs::writeManPage(describeLauncher(), std::cout);
        return std::cout.flush() ? 0 : 1;
    }

    // This process runs under umockdev's preload alone; the user's own
    // preload is kept for the child.
    if (!preloadActive()) {
        if (getenv(REEXEC_VAR)) {
            std::fprintf(stderr, "zentrova-sim: cannot load %s (is umockdev installed?)\n", UMOCKDEV_PRELOAD);
            return EXIT_LAUNCHER_ERROR;
        }
        const char* user = getenv("LD_PRELOAD");
        setenv(USER_PRELOAD_VAR, user ? user : "", 1);
        setenv("LD_PRELOAD", UMOCKDEV_PRELOAD, 1);
        setenv("ASAN_OPTIONS", asanOptionsWithPreload(getenv("ASAN_OPTIONS")).c_str(), 1);
        setenv(REEXEC_VAR, "1", 1);
        execv("/proc/self/exe", argv);
        std::fprintf(stderr, "zentrova-sim: cannot re-execute itself: %s\n", std::strerror(errno));
        return EXIT_LAUNCHER_ERROR;
    }
    const std::string userPreload = takeUserPreload();
    unsetenv(USER_PRELOAD_VAR);
    unsetenv(REEXEC_VAR);
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL); // inherited by the child

    // Ctrl-C reaches the child through the terminal; this process stays to
    // print the report and remove the testbed.
    signal(SIGINT, SIG_IGN);
    signal(SIGQUIT, SIG_IGN);

    int result;
    std::vector<std::shared_ptr<MouseModel>> mice;
    try {
        Testbed testbed;
        for (const auto& config : options.mice)
            mice.push_back(addMouse(testbed, config));
        result = runChild(options, userPreload);

        if (!options.quiet) {
            std::string report;
            for (size_t i = 0; i < mice.size(); ++i) {
                report += describeMouse(*mice[i], "mouse " + std::to_string(i + 1));
                if (options.transcript)
                    report += transcriptText(*mice[i]);
            }
            FILE* out = stderr;
            std::unique_ptr<FILE, int (*)(FILE*)> file(nullptr, &std::fclose);
            if (!options.reportFile.empty()) {
                file.reset(std::fopen(options.reportFile.c_str(), "w"));
                if (!file) {
                    std::fprintf(stderr, "zentrova-sim: cannot write %s: %s\n", options.reportFile.c_str(),
                                 std::strerror(errno));
                    return EXIT_LAUNCHER_ERROR;
                }
                out = file.get();
            } else {
                std::fputs("\nzentrova-sim: the simulated mice hold:\n", out);
            }
            std::fputs(report.c_str(), out);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zentrova-sim: %s\n", e.what());
        return EXIT_LAUNCHER_ERROR;
    }
    return result;
}

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
#include <memory>
#include <string>
#include <vector>

#include "sim/MouseModel.h"
#include "sim/MouseReport.h"
#include "sim/Preload.h"
#include "sim/Testbed.h"
#include "sim/MouseProtocol.h"

extern char** environ;

using namespace zentrova::sim;

namespace {

constexpr int EXIT_LAUNCHER_ERROR = 125;
constexpr const char* USER_PRELOAD_VAR = "ZENTROVA_SIM_USER_PRELOAD";
constexpr const char* REEXEC_VAR = "ZENTROVA_SIM_REEXEC";

const char USAGE[] =
    "usage: zentrova-sim [OPTIONS] -- COMMAND [ARGS...]\n"
    "\n"
    "Runs COMMAND with simulated Zentrova mice attached and, when it exits, prints\n"
    "what each mouse holds. COMMAND is any program that uses libusb-1.0; it runs\n"
    "unmodified under umockdev's preload library (your own LD_PRELOAD is passed on\n"
    "to it after that library).\n"
    "\n"
    "Mice (default: one right-hand mouse):\n"
    "  --right                 attach a right-hand mouse (product 2, mouse ID 0)\n"
    "  --left                  attach a left-hand mouse (product 3, mouse ID 1)\n"
    "\n"
    "The options below apply to the mouse named last by --right or --left; given\n"
    "before the first of those, they apply to every mouse:\n"
    "  --firmware X.YY         firmware version the mouse reports (bcdDevice; default 1.23)\n"
    "  --bcd-device HEX        bcdDevice as four hex digits, e.g. 0123\n"
    "  --product-id N          USB product ID instead of the hand's\n"
    "  --mouse-id N            byte answered to the ID request instead of the hand's\n"
    "  --manufacturer TEXT     manufacturer string (default \"Zentrova\")\n"
    "  --product TEXT          product string\n"
    "  --serial TEXT           serial-number string\n"
    "  --no-strings            the mouse has no string descriptors (indices 0)\n"
    "  --slots N               number of profile slots, 1 to 255 (default 8)\n"
    "  --slot-size BYTES       size limit of every slot (default 65536)\n"
    "  --slot-size N=BYTES     size limit of slot N only\n"
    "  --dfu-max BYTES         largest firmware image the mouse accepts (default 262144)\n"
    "\n"
    "Faults. K counts the mouse's vendor requests from 1, status polls included:\n"
    "  --busy N                every status handshake answers busy N times first\n"
    "  --status-error-after K  the first status poll after request K answers 2 (error)\n"
    "  --stall-at K            request K is stalled\n"
    "  --no-answer-at K        request K is never answered (the program's timeout fires)\n"
    "  --unplug-at K           the mouse is unplugged when request K arrives\n"
    "  --short-at K            request K moves one data byte less than asked\n"
    "  --bad-status-at K       request K, a status poll, answers an undefined status value\n"
    "\n"
    "Report:\n"
    "  --report FILE           write the report to FILE instead of standard error\n"
    "  --transcript            list every vendor request each mouse received\n"
    "  --quiet                 print no report\n"
    "  -h, --help              show this text\n"
    "\n"
    "The report lists per mouse: stored profile slots with size and name, active\n"
    "slot, LED color, effect and parameters, polling rate, last program run and\n"
    "the size of the last firmware image received.\n"
    "\n"
    "Exit status: COMMAND's own (128+N when it died of signal N); 125 when\n"
    "zentrova-sim itself fails; 127 when COMMAND cannot be run.\n";

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
    std::vector<std::pair<unsigned, uint32_t>> commonSlotSizes;
    std::string reportFile;
    bool transcript = false;
    bool quiet = false;
    std::vector<char*> command;
};

Options parse(int argc, char** argv, bool& help)
{
    Options o;
    bool anyMouse = false;
    auto current = [&]() -> MouseConfig& { return anyMouse ? o.mice.back() : o.common; };
    int i = 1;
    for (; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc)
                throw UsageError{a + " needs a value"};
            return argv[++i];
        };
        if (a == "--") {
            ++i;
            break;
        } else if (a == "-h" || a == "--help") {
            help = true;
            return o;
        } else if (a == "--right" || a == "--left") {
            MouseConfig m = o.common;
            m.rightHand = a == "--right";
            o.mice.push_back(m);
            anyMouse = true;
        } else if (a == "--firmware") {
            current().bcdDevice = parseFirmware(value());
        } else if (a == "--bcd-device") {
            current().bcdDevice = static_cast<uint16_t>(parseNumber(a, value(), 0xFFFF, 16));
        } else if (a == "--product-id") {
            current().productId = static_cast<uint16_t>(parseNumber(a, value(), 0xFFFF));
        } else if (a == "--mouse-id") {
            current().mouseId = static_cast<int>(parseNumber(a, value(), 0xFF));
        } else if (a == "--manufacturer") {
            current().manufacturer = value();
        } else if (a == "--product") {
            current().product = value();
        } else if (a == "--serial") {
            current().serialNumber = value();
        } else if (a == "--no-strings") {
            current().iManufacturer = current().iProduct = current().iSerialNumber = 0;
        } else if (a == "--slots") {
            const unsigned n = static_cast<unsigned>(parseNumber(a, value(), 255));
            if (n == 0)
                throw UsageError{"--slots: at least 1"};
            auto& limits = current().slotLimits;
            limits.resize(n, limits.empty() ? 64 * 1024 : limits.back());
        } else if (a == "--slot-size") {
            const std::string v = value();
            const size_t eq = v.find('=');
            auto& limits = current().slotLimits;
            if (eq == std::string::npos) {
                const uint32_t size = static_cast<uint32_t>(parseNumber(a, v.c_str(), 0xFFFFFFFFul));
                for (auto& l : limits)
                    l = size;
            } else {
                const unsigned slot = static_cast<unsigned>(parseNumber(a, v.substr(0, eq).c_str(), 255));
                const uint32_t size = static_cast<uint32_t>(parseNumber(a, v.substr(eq + 1).c_str(), 0xFFFFFFFFul));
                if (slot == 0 || slot > limits.size())
                    throw UsageError{"--slot-size: no slot " + std::to_string(slot) + " (see --slots)"};
                limits[slot - 1] = size;
            }
        } else if (a == "--dfu-max") {
            current().dfuMaxSize = static_cast<uint32_t>(parseNumber(a, value(), 0xFFFFFFFFul));
        } else if (a == "--busy") {
            current().faults.busyPolls = static_cast<unsigned>(parseNumber(a, value(), 1000000));
        } else if (a == "--status-error-after") {
            current().faults.statusErrorAfter = static_cast<unsigned>(parseNumber(a, value(), 0xFFFFFFFFul));
        } else if (a == "--stall-at") {
            current().faults.stallAt = static_cast<unsigned>(parseNumber(a, value(), 0xFFFFFFFFul));
        } else if (a == "--no-answer-at") {
            current().faults.noAnswerAt = static_cast<unsigned>(parseNumber(a, value(), 0xFFFFFFFFul));
        } else if (a == "--unplug-at") {
            current().faults.unplugAt = static_cast<unsigned>(parseNumber(a, value(), 0xFFFFFFFFul));
        } else if (a == "--short-at") {
            current().faults.shortAnswerAt = static_cast<unsigned>(parseNumber(a, value(), 0xFFFFFFFFul));
        } else if (a == "--bad-status-at") {
            current().faults.badStatusAt = static_cast<unsigned>(parseNumber(a, value(), 0xFFFFFFFFul));
        } else if (a == "--report") {
            o.reportFile = value();
        } else if (a == "--transcript") {
            o.transcript = true;
        } else if (a == "--quiet") {
            o.quiet = true;
        } else {
            throw UsageError{"unknown option '" + a + "'"};
        }
    }
    if (!anyMouse)
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
    bool help = false;
    Options options;
    try {
        options = parse(argc, argv, help);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "zentrova-sim: %s\n(zentrova-sim --help lists the options)\n", e.message.c_str());
        return 2;
    }
    if (help) {
        std::fputs(USAGE, stdout);
        return 0;
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

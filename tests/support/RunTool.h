// Runs a program as a separate process in a test's directory, the way a user or
// a script runs the zentrova command: exit status, standard output and error.
#ifndef ZENTROVA_TESTS_SUPPORT_RUNTOOL_H
#define ZENTROVA_TESTS_SUPPORT_RUNTOOL_H

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/TempDir.h"

struct RunResult {
    int status = -1; // -1: did not exit normally
    std::string out, err;
};

// In a child: runs argv (argv[0] a path), or ends with status 127.
[[noreturn]] inline void execArgv(const std::vector<std::string>& argv)
{
    std::vector<char*> raw;
    for (const std::string& a : argv)
        raw.push_back(const_cast<char*>(a.c_str()));
    raw.push_back(nullptr);
    execv(raw[0], raw.data());
    _exit(127);
}

inline RunResult runIn(const TempDir& dir, const std::vector<std::string>& argv)
{
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(dir.path(".stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(dir.path(".stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(dir.dir.c_str()) != 0)
            _exit(127);
        execArgv(argv);
    }
    RunResult r;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        r.status = WEXITSTATUS(status);
    r.out = dir.text(".stdout");
    r.err = dir.text(".stderr");
    return r;
}

// As runIn, with standard input, output and error on one pseudo-terminal that
// receives `input` first: what a person at a terminal sees, in `out`.
inline RunResult runInPty(const TempDir& dir, const std::vector<std::string>& argv, const std::string& input)
{
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        if (chdir(dir.dir.c_str()) != 0)
            _exit(127);
        execArgv(argv);
    }
    RunResult r;
    if (pid < 0)
        return r;
    if (!input.empty() && write(master, input.data(), input.size()) < 0)
        r.err = "cannot write to the terminal";
    char buffer[4096];
    for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) // EIO once the child has gone
        r.out.append(buffer, static_cast<size_t>(n));
    close(master);
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        r.status = WEXITSTATUS(status);
    return r;
}

#endif

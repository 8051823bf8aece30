// Runs a program as a separate process in a test's directory, the way a user or
// a script runs the zentrova command: exit status, standard output and error.
#ifndef ZENTROVA_TESTS_SUPPORT_RUNTOOL_H
#define ZENTROVA_TESTS_SUPPORT_RUNTOOL_H

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/TempDir.h"

struct RunResult {
    int status = -1; // -1: did not exit normally
    std::string out, err;
};

inline RunResult runIn(const TempDir& dir, const std::vector<std::string>& argv)
{
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(dir.path(".stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(dir.path(".stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(dir.dir.c_str()) != 0)
            _exit(127);
        std::vector<char*> raw;
        for (const std::string& a : argv)
            raw.push_back(const_cast<char*>(a.c_str()));
        raw.push_back(nullptr);
        execv(raw[0], raw.data());
        _exit(127);
    }
    RunResult r;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        r.status = WEXITSTATUS(status);
    r.out = dir.text(".stdout");
    r.err = dir.text(".stderr");
    return r;
}

#endif

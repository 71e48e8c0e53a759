// A piece of the test in a forked child, which exits with its result and never returns into the
// test; its exit code once it ended, -1 when it did not exit by itself.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <functional>

inline pid_t runInChild(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == 0) _exit(body());
    return child;
}

inline int exitCodeOf(pid_t child) {
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

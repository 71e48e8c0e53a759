// A forked child running a piece of the test, and how it ended.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <functional>

// Runs body in a forked child that exits with its result, never returning into the test.
inline pid_t runInChild(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == 0) _exit(body());
    return child;
}

// The child's exit code once it ended; -1 when it did not exit by itself.
inline int exitCodeOf(pid_t child) {
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

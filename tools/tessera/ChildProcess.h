// A program started with its standard output read through a pipe; its standard error goes to
// ours, nowhere, or into the same pipe. A child still running when the object goes gets SIGTERM and
// is waited for, so that no server outlives its host.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

enum class StandardError { Shown, Discarded, Captured };

class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& arguments, StandardError errors);
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    // The next line of its output, waiting at most timeoutSeconds; raises when none comes.
    std::string readLine(int timeoutSeconds);
    // Reads its output to the end and waits for it; the exit status, or 128 + signal.
    int finish();
    // SIGTERM, then waits for it.
    void terminate();
    const std::string& output() const { return m_output; }

private:
    bool readSome(int timeoutSeconds);
    int waitForExit();

    pid_t m_pid = -1;
    int m_outputDescriptor = -1;
    std::string m_output;
    std::size_t m_consumed = 0;
};

struct ProgramRun {
    int status;
    std::string output;
};

// Runs a program to its end (at most a minute for its output to close).
ProgramRun runProgram(const std::vector<std::string>& arguments, StandardError errors);

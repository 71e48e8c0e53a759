#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "CommandFailure.h"

extern char** environ;

namespace {

// posix_spawn's file actions, destroyed on every path.
class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&m_actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    ~SpawnActions() { posix_spawn_file_actions_destroy(&m_actions); }
    posix_spawn_file_actions_t* get() { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
};

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& arguments, StandardError errors) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        throw CommandFailure(ExitCode::Failed,
                             std::string("cannot make a pipe: ") + std::strerror(errno));
    m_outputDescriptor = pipeEnds[0];
    SpawnActions actions;
    posix_spawn_file_actions_adddup2(actions.get(), pipeEnds[1], STDOUT_FILENO);
    if (errors == StandardError::Discarded)
        posix_spawn_file_actions_addopen(actions.get(), STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (errors == StandardError::Captured)
        posix_spawn_file_actions_adddup2(actions.get(), pipeEnds[1], STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const int spawned = posix_spawn(&m_pid, argv[0], actions.get(), nullptr, argv.data(), environ);
    close(pipeEnds[1]);
    if (spawned != 0) {
        m_pid = -1;
        close(m_outputDescriptor);
        throw CommandFailure(ExitCode::Failed,
                             "cannot start " + arguments.front() + ": " + std::strerror(spawned));
    }
}

ChildProcess::~ChildProcess() {
    terminate();
    if (m_outputDescriptor >= 0) close(m_outputDescriptor);
}

bool ChildProcess::readSome(int timeoutSeconds) {
    pollfd waiting{m_outputDescriptor, POLLIN, 0};
    if (poll(&waiting, 1, timeoutSeconds * 1000) <= 0) return false;
    char buffer[4096];
    const ssize_t got = read(m_outputDescriptor, buffer, sizeof buffer);
    if (got <= 0) return false;
    m_output.append(buffer, static_cast<std::size_t>(got));
    return true;
}

std::string ChildProcess::readLine(int timeoutSeconds) {
    std::size_t end;
    while ((end = m_output.find('\n', m_consumed)) == std::string::npos)
        if (!readSome(timeoutSeconds))
            throw CommandFailure(ExitCode::Failed, "a child process ended or went silent");
    std::string line = m_output.substr(m_consumed, end - m_consumed);
    m_consumed = end + 1;
    return line;
}

int ChildProcess::finish() {
    while (readSome(60)) {
    }
    return waitForExit();
}

void ChildProcess::terminate() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    waitForExit();
}

int ChildProcess::waitForExit() {
    if (m_pid <= 0) return -1;
    int status = 0;
    while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

ProgramRun runProgram(const std::vector<std::string>& arguments, StandardError errors) {
    ChildProcess child(arguments, errors);
    const int status = child.finish();
    return {status, child.output()};
}

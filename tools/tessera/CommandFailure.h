// The exit codes of tessera, one per outcome, and the failure that ends a command with one.
#pragma once

#include <stdexcept>
#include <string>

enum class ExitCode {
    Done = 0,
    Failed = 1,         // the component, the store or a local file failed
    Usage = 2,          // a command line or a password that cannot be used
    Refused = 3,        // the authority refused; its ErrorMessage is printed
    NotIssued = 4,      // the certificate is not issued yet, or there is nothing to pick up
    Unreachable = 5,    // the authority cannot be reached
    NotValid = 6,       // check: the certificate is revoked, expired or unknown
    DemoStepFailed = 7  // demo: a step did not do what it should
};

class CommandFailure : public std::runtime_error {
public:
    CommandFailure(ExitCode code, const std::string& message)
        : std::runtime_error(message), m_code(code) {}
    ExitCode code() const { return m_code; }

private:
    ExitCode m_code;
};

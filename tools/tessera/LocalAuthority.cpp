#include "LocalAuthority.h"

#include <optional>

#include "CommandFailure.h"

namespace {

constexpr int kStartSeconds = 20;

// The value of the output line "name value", if there is one.
std::optional<std::string> lineValue(const std::string& output, const std::string& name) {
    const std::string key = name + " ";
    for (std::size_t start = 0; start < output.size();) {
        const std::size_t end = std::min(output.find('\n', start), output.size());
        if (output.compare(start, key.size(), key) == 0)
            return output.substr(start + key.size(), end - start - key.size());
        start = end + 1;
    }
    return std::nullopt;
}

std::string valueOf(const std::string& output, const std::string& name) {
    if (std::optional<std::string> value = lineValue(output, name)) return *value;
    throw CommandFailure(ExitCode::Failed, "tessera-ca printed no " + name);
}

}  // namespace

LocalAuthority::LocalAuthority(std::string program, std::string directory, bool verbose)
    : m_program(std::move(program)), m_directory(std::move(directory)), m_verbose(verbose) {}

std::string LocalAuthority::command(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), m_program);
    const ProgramRun run = runProgram(arguments, StandardError::Shown);
    if (run.status != 0)
        throw CommandFailure(ExitCode::Failed, "tessera-ca " + arguments[1] + " failed (" +
                                                   std::to_string(run.status) + ")");
    return run.output;
}

void LocalAuthority::init() { command({"init", m_directory}); }

void LocalAuthority::serve(bool manualApproval) {
    stop();
    m_server = std::make_unique<ChildProcess>(
        std::vector<std::string>{m_program, "serve", m_directory, "--port", "0", "--tls-port", "0",
                                 "--approve", manualApproval ? "manual" : "auto"},
        m_verbose ? StandardError::Shown : StandardError::Discarded);
    m_port = std::stoi(valueOf(m_server->readLine(kStartSeconds) + '\n', "port"));
    valueOf(m_server->readLine(kStartSeconds) + '\n', "tls-port");
}

void LocalAuthority::stop() { m_server.reset(); }

Applicant LocalAuthority::addApplicant(const std::string& first, const std::string& last,
                                       const std::string& email) {
    const std::string output =
        command({"applicant", "add", m_directory, "--first", first, "--last", last, "--email",
                 email, "--org", "Tessera Demo", "--country", "DE"});
    const std::string start = valueOf(output, "start");
    const std::size_t path = start.find("/a/");
    if (path == std::string::npos)
        throw CommandFailure(ExitCode::Failed, "tessera-ca printed an odd start address " + start);
    return {start.substr(path), valueOf(output, "password"),
            lineValue(output, "fingerprint").value_or("")};
}

std::string LocalAuthority::approve(const std::string& reference) {
    return valueOf(command({"approve", m_directory, reference}), "issued");
}

void LocalAuthority::revoke(const std::string& serial) { command({"revoke", m_directory, serial}); }

std::string LocalAuthority::caAddress() const {
    return "http://127.0.0.1:" + std::to_string(m_port) + "/ca.crt";
}

std::string LocalAuthority::startAddress(const Applicant& applicant) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + applicant.path;
}

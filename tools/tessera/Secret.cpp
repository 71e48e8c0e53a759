#include "Secret.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "CommandFailure.h"

namespace {

// The terminal with echo switched off for as long as the object lives.
class SilentTerminal {
public:
    explicit SilentTerminal(int descriptor) : m_descriptor(descriptor) {
        m_saved = tcgetattr(m_descriptor, &m_settings) == 0;
        termios silent = m_settings;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        if (m_saved) tcsetattr(m_descriptor, TCSAFLUSH, &silent);
    }
    SilentTerminal(const SilentTerminal&) = delete;
    SilentTerminal& operator=(const SilentTerminal&) = delete;
    ~SilentTerminal() {
        if (m_saved) tcsetattr(m_descriptor, TCSAFLUSH, &m_settings);
    }

private:
    int m_descriptor;
    termios m_settings{};
    bool m_saved = false;
};

class Descriptor {
public:
    explicit Descriptor(int descriptor) : m_descriptor(descriptor) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (m_descriptor >= 0) close(m_descriptor);
    }
    int get() const { return m_descriptor; }

private:
    int m_descriptor;
};

std::optional<std::string> askOnTerminal(const std::string& what) {
    const Descriptor terminal(open("/dev/tty", O_RDWR | O_CLOEXEC));
    if (terminal.get() < 0) return std::nullopt;
    const std::string prompt = what + ": ";
    if (write(terminal.get(), prompt.data(), prompt.size()) < 0) return std::nullopt;
    std::string answer;
    {
        const SilentTerminal silent(terminal.get());
        char c = 0;
        while (read(terminal.get(), &c, 1) == 1 && c != '\n') answer += c;
    }
    if (write(terminal.get(), "\n", 1) < 0) return std::nullopt;
    return answer;
}

// Characters, not bytes: a UTF-8 continuation byte starts no character.
std::size_t characterCount(const std::string& text) {
    std::size_t count = 0;
    for (const char byte : text)
        if ((static_cast<unsigned char>(byte) & 0xC0) != 0x80) ++count;
    return count;
}

}  // namespace

const std::string& Secret::get() {
    if (m_value) return *m_value;
    if (!m_file.empty()) {
        std::ifstream file(m_file);
        std::string line;
        if (!file || !std::getline(file, line))
            throw CommandFailure(ExitCode::Usage, "cannot read the " + m_what + " from " + m_file);
        return *(m_value = line);
    }
    if (const char* value = std::getenv(m_environmentVariable.c_str())) return *(m_value = value);
    if (std::optional<std::string> answer = askOnTerminal(m_what)) return *(m_value = *answer);
    throw CommandFailure(ExitCode::Usage, "no " + m_what + ": give it in a file or in " +
                                              m_environmentVariable + ", or run on a terminal");
}

const std::string& Secret::getNew() {
    if (!m_value && m_file.empty() && std::getenv(m_environmentVariable.c_str()) == nullptr) {
        if (std::optional<std::string> first = askOnTerminal(m_what)) {
            if (askOnTerminal("the same " + m_what + " again") != first)
                throw CommandFailure(ExitCode::Usage, "the two " + m_what + "s differ");
            m_value = std::move(first);
        }
    }
    const std::string& value = get();
    if (characterCount(value) < kMinimumLength)
        throw CommandFailure(ExitCode::Usage, "the " + m_what +
                                                  " of a new key must have at least " +
                                                  std::to_string(kMinimumLength) + " characters");
    return value;
}

// A password the command needs: given outright (the demo), read from a file's first line, taken
// from an environment variable, or asked for on the terminal without echo, in that order. It is
// asked for only when a call needs it, and only once.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

class Secret {
public:
    Secret(std::string what, std::string environmentVariable)
        : m_what(std::move(what)), m_environmentVariable(std::move(environmentVariable)) {}

    void set(std::string value) { m_value = std::move(value); }
    void readFrom(std::string file) { m_file = std::move(file); }
    // Raises CommandFailure when there is no way to get it.
    const std::string& get();
    // The password for a key about to be made: asked twice on a terminal, and refused when
    // shorter than kMinimumLength wherever it comes from. Old keys may have shorter ones, which
    // get() still opens.
    const std::string& getNew();
    static constexpr std::size_t kMinimumLength = 8;

private:
    std::string m_what, m_environmentVariable, m_file;
    std::optional<std::string> m_value;
};

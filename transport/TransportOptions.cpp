#include "TransportOptions.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace {

constexpr std::string_view kSecure = "-ssl3";
constexpr std::string_view kCertFile = "-oc";
constexpr std::string_view kKeyFile = "-pk";
constexpr std::string_view kPassword = "-pp";

bool startsAt(std::string_view text, std::size_t position, std::string_view name) {
    return text.substr(position, name.size()) == name;
}

// Where the next known option after position begins (at its blank), or the end of the text.
std::size_t nextKnownOption(std::string_view text, std::size_t position) {
    std::size_t end = text.size();
    for (const std::string_view name : std::array{kSecure, kCertFile, kKeyFile, kPassword}) {
        const std::size_t found = text.find(std::string(" ") + std::string(name), position);
        if (found != std::string_view::npos) end = std::min(end, found);
    }
    return end;
}

}  // namespace

TransportOptions parseTransportOptions(const std::string& text) {
    TransportOptions options;
    const std::string_view view = text;
    std::size_t position = 0;
    while (true) {
        position = view.find_first_not_of(' ', position);
        if (position == std::string_view::npos) break;
        if (startsAt(view, position, kPassword)) {
            options.strKeyPassword = view.substr(position + kPassword.size());
            options.bHasKeyPassword = true;
            break;
        }
        const bool certFile = startsAt(view, position, kCertFile);
        if (certFile || startsAt(view, position, kKeyFile)) {
            const std::size_t valueStart = position + kCertFile.size();
            const std::size_t end = nextKnownOption(view, valueStart);
            (certFile ? options.strCertFile : options.strKeyFile) =
                view.substr(valueStart, end - valueStart);
            position = end;
            continue;
        }
        const std::size_t end = std::min(view.find(' ', position), view.size());
        const std::string_view word = view.substr(position, end - position);
        if (word == kSecure)
            options.bSecure = true;
        else
            options.vecUnknown.emplace_back(word);
        position = end;
    }
    return options;
}

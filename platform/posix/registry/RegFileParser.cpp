#include <charconv>
#include <vector>

#include <velcom/win32.h>

#include "KeyNames.h"
#include "RegFileText.h"
#include "Utf16.h"

namespace velcom::registry {

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

std::string_view trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool consume(std::string_view& text, std::string_view prefix) {
    if (!text.starts_with(prefix)) return false;
    text.remove_prefix(prefix.size());
    return true;
}

// A whole field of 1 to `maxDigits` hex digits.
std::optional<std::uint32_t> parseHexNumber(std::string_view text, std::size_t maxDigits) {
    std::uint32_t value = 0;
    const char* end = text.data() + text.size();
    if (text.empty() || text.size() > maxDigits) return std::nullopt;
    const auto [stop, error] = std::from_chars(text.data(), end, value, 16);
    if (error != std::errc() || stop != end) return std::nullopt;
    return value;
}

// A quoted string at the front of `text`, with \\ and \" as the only escapes; consumes it.
std::optional<std::string> takeQuoted(std::string_view& text) {
    if (!consume(text, "\"")) return std::nullopt;
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') {
            text.remove_prefix(i + 1);
            return result;
        }
        if (text[i] == '\\') {
            if (++i == text.size() || (text[i] != '\\' && text[i] != '"')) return std::nullopt;
        }
        result += text[i];
    }
    return std::nullopt;
}

class Parser {
public:
    explicit Parser(std::string_view text) {
        for (std::size_t start = 0; start <= text.size();) {
            const std::size_t end = std::min(text.find('\n', start), text.size());
            m_lines.push_back(trim(text.substr(start, end - start)));
            start = end + 1;
        }
    }

    std::optional<Hive> run() {
        while (m_next < m_lines.size() && m_lines[m_next].empty()) ++m_next;
        if (m_next == m_lines.size()) return std::move(m_hive);
        if (m_lines[m_next++] != kRegFileHeader) return std::nullopt;
        while (m_next < m_lines.size()) {
            const std::string_view line = m_lines[m_next++];
            if (line.empty() || line.starts_with(';')) continue;
            const bool parsed = line.starts_with('[') ? parseSection(line) : parseValue(line);
            if (!parsed) return std::nullopt;
        }
        return std::move(m_hive);
    }

private:
    bool parseSection(std::string_view line) {
        if (!line.ends_with(']')) return false;
        std::string_view path = line.substr(1, line.size() - 2);
        if (!startsWithNoCase(path, kRootName)) return false;
        path.remove_prefix(kRootName.size());
        if (!path.empty() && (!consume(path, "\\") || !isValidKeyPath(path))) return false;
        m_section = std::string(path);
        m_hive.create(m_section);
        m_inSection = true;
        return true;
    }

    bool parseValue(std::string_view line) {
        if (!m_inSection) return false;
        std::string name;
        if (!consume(line, "@")) {
            std::optional<std::string> quoted = takeQuoted(line);
            if (!quoted) return false;
            name = std::move(*quoted);
        }
        line = trim(line);
        if (!consume(line, "=")) return false;
        std::optional<Value> value = parseData(trim(line));
        if (!value) return false;
        (*m_hive.values(m_section))[name] = std::move(*value);
        return true;
    }

    std::optional<Value> parseData(std::string_view text) {
        if (text.starts_with('"')) {
            const std::optional<std::string> string = takeQuoted(text);
            if (!string || !text.empty()) return std::nullopt;
            Value value{REG_SZ, std::vector<BYTE>(string->begin(), string->end())};
            value.data.push_back(0);
            return value;
        }
        if (consume(text, "dword:")) {
            const std::optional<std::uint32_t> number = parseHexNumber(text, 8);
            if (!number) return std::nullopt;
            return Value{REG_DWORD,
                         {static_cast<BYTE>(*number), static_cast<BYTE>(*number >> 8),
                          static_cast<BYTE>(*number >> 16), static_cast<BYTE>(*number >> 24)}};
        }
        if (consume(text, "hex:")) {
            std::optional<std::vector<BYTE>> bytes = parseHexList(text);
            if (!bytes) return std::nullopt;
            return Value{REG_BINARY, std::move(*bytes)};
        }
        if (!consume(text, "hex(")) return std::nullopt;
        const std::size_t close = text.find("):");
        if (close == std::string_view::npos) return std::nullopt;
        const std::optional<std::uint32_t> type = parseHexNumber(text.substr(0, close), 8);
        std::optional<std::vector<BYTE>> bytes = parseHexList(text.substr(close + 2));
        if (!type || !bytes) return std::nullopt;
        if (*type == REG_SZ || *type == REG_EXPAND_SZ || *type == REG_MULTI_SZ) {
            bytes = utf16leToUtf8(*bytes);
            if (!bytes) return std::nullopt;
        }
        return Value{*type, std::move(*bytes)};
    }

    // Comma-separated bytes; a line ending in a backslash continues on the next, which must not
    // be blank, and one trailing comma is allowed.
    std::optional<std::vector<BYTE>> parseHexList(std::string_view firstLine) {
        std::string text(firstLine);
        while (text.ends_with('\\')) {
            if (m_next == m_lines.size() || m_lines[m_next].empty()) return std::nullopt;
            text.pop_back();
            text += m_lines[m_next++];
        }
        std::vector<BYTE> bytes;
        std::string_view rest = text;
        while (!trim(rest).empty()) {
            const std::size_t comma = rest.find(',');
            const std::optional<std::uint32_t> byte =
                parseHexNumber(trim(rest.substr(0, comma)), 2);
            if (!byte) return std::nullopt;
            bytes.push_back(static_cast<BYTE>(*byte));
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        }
        return bytes;
    }

    std::vector<std::string_view> m_lines;
    std::size_t m_next = 0;
    Hive m_hive;
    std::string m_section;
    bool m_inSection = false;
};

}  // namespace

std::optional<Hive> parseRegFile(std::string_view text) {
    consume(text, kUtf8ByteOrderMark);
    return Parser(text).run();
}

}  // namespace velcom::registry

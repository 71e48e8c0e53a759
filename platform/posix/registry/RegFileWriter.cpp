#include <velcom/win32.h>

#include "RegFileText.h"
#include "Utf16.h"

namespace velcom::registry {

namespace {

bool isStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

void appendHexDigits(std::string& out, std::uint32_t value, int digits) {
    static constexpr char kHex[] = "0123456789abcdef";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kHex[(value >> shift) & 0xF];
}

void appendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
}

// Data that regedit would show as a quoted string: text without line breaks or NULs, then one
// terminating NUL.
bool isQuotableString(const std::vector<BYTE>& data) {
    if (data.empty() || data.back() != 0) return false;
    for (std::size_t i = 0; i + 1 < data.size(); ++i)
        if (data[i] == 0 || data[i] == '\r' || data[i] == '\n') return false;
    return true;
}

void appendHexList(std::string& out, std::span<const BYTE> bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0) out += ',';
        appendHexDigits(out, bytes[i], 2);
    }
}

bool appendData(std::string& out, const Value& value) {
    if (value.type == REG_SZ && isQuotableString(value.data)) {
        appendQuoted(out, std::string_view(reinterpret_cast<const char*>(value.data.data()),
                                           value.data.size() - 1));
        return true;
    }
    if (value.type == REG_DWORD && value.data.size() == sizeof(DWORD)) {
        const DWORD number = value.data[0] | value.data[1] << 8 | value.data[2] << 16 |
                             static_cast<DWORD>(value.data[3]) << 24;
        out += "dword:";
        appendHexDigits(out, number, 8);
        return true;
    }
    if (value.type == REG_BINARY) {
        out += "hex:";
        appendHexList(out, value.data);
        return true;
    }
    // regedit writes the type in hex without leading zeros: hex(0), hex(b), hex(ffff0000).
    out += "hex(";
    int digits = 1;
    while (digits < 8 && (value.type >> (digits * 4)) != 0) ++digits;
    appendHexDigits(out, value.type, digits);
    out += "):";
    if (!isStringType(value.type)) {
        appendHexList(out, value.data);
        return true;
    }
    const std::optional<std::vector<BYTE>> utf16 = utf8ToUtf16le(value.data);
    if (!utf16) return false;
    appendHexList(out, *utf16);
    return true;
}

}  // namespace

std::optional<std::string> formatRegFile(const Hive& hive) {
    std::string out(kRegFileHeader);
    out += "\n\n";
    for (const auto& [path, values] : hive.keys()) {
        // The root is always there; a section for it only carries values.
        if (path.empty() && values.empty()) continue;
        out += '[';
        out += kRootName;
        if (!path.empty()) out += '\\';
        out += path;
        out += "]\n";
        for (const auto& [name, value] : values) {
            if (name.empty())
                out += '@';
            else
                appendQuoted(out, name);
            out += '=';
            if (!appendData(out, value)) return std::nullopt;
            out += '\n';
        }
        out += '\n';
    }
    return out;
}

}  // namespace velcom::registry

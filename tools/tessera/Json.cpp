#include "Json.h"

#include <cstdio>

JsonWriter& JsonWriter::open(char bracket) {
    separate();
    m_out << bracket;
    m_empty.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::close(char bracket) {
    m_out << (bracket == '{' ? '}' : ']');
    m_empty.pop_back();
    if (m_empty.empty()) m_out << '\n';
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
    separate();
    quoted(name);
    m_out << ':';
    m_afterKey = true;
    return *this;
}

JsonWriter& JsonWriter::text(std::string_view value) {
    separate();
    quoted(value);
    return *this;
}

JsonWriter& JsonWriter::number(long long value) {
    separate();
    m_out << value;
    return *this;
}

JsonWriter& JsonWriter::null() {
    separate();
    m_out << "null";
    return *this;
}

void JsonWriter::separate() {
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (m_empty.empty()) return;
    if (!m_empty.back()) m_out << ',';
    m_empty.back() = false;
}

// UTF-8 passes as it is; quotes, backslashes and control characters are escaped.
void JsonWriter::quoted(std::string_view value) {
    m_out << '"';
    for (const char c : value) {
        switch (c) {
            case '"':
                m_out << "\\\"";
                break;
            case '\\':
                m_out << "\\\\";
                break;
            case '\n':
                m_out << "\\n";
                break;
            case '\r':
                m_out << "\\r";
                break;
            case '\t':
                m_out << "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                    m_out << escape;
                } else {
                    m_out << c;
                }
        }
    }
    m_out << '"';
}

// A request that failed: the result Post or Get returns and the text its error object carries.
#pragma once

#include <stdexcept>
#include <string>

#include <velcom/com.h>

class TransportFailure : public std::runtime_error {
public:
    TransportFailure(HRESULT code, const std::string& description)
        : std::runtime_error(description), m_hrCode(code) {}
    HRESULT code() const { return m_hrCode; }

private:
    HRESULT m_hrCode;
};

// HRESULT_FROM_WIN32(error) with the text "<what> <where> port <port> (<detail>)": where is the
// host, or "the server" when there is none; no port when it is 0, no parentheses without detail.
inline TransportFailure serverFailure(DWORD error, const std::string& what,
                                      const std::string& where, long port,
                                      const std::string& detail) {
    std::string text = what + " " + (where.empty() ? "the server" : where);
    if (port > 0) text += " port " + std::to_string(port);
    if (!detail.empty()) text += " (" + detail + ")";
    return TransportFailure(HRESULT_FROM_WIN32(error), text);
}

// How the component fails: code and text travel as one exception to the method's boundary,
// which turns them into the HRESULT, the error object and a trace.
#pragma once

#include <stdexcept>
#include <string>

#include <velcom/com.h>

class PkiFailure : public std::runtime_error {
public:
    PkiFailure(HRESULT code, const std::string& text) : std::runtime_error(text), m_code(code) {}
    HRESULT code() const { return m_code; }

private:
    HRESULT m_code;
};

[[noreturn]] void failWith(HRESULT code, const std::string& text);

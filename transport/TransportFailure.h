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

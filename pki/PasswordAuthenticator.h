// An IAuthenticator that gives one password: what a script hands the proxy for a renewal, since
// a script cannot implement an interface of its own.
#pragma once

#include <velTesseraComm/DispatchTables.h>

#include "PkiObject.h"

class CvelPasswordAuthenticator final
    : public PkiObject<CvelPasswordAuthenticator, IAuthenticator> {
public:
    static constexpr IID kImplementationId = {
        0x2c61d0a4, 0x7b3e, 0x4f0a, {0x8d, 0x52, 0x19, 0xe4, 0x6a, 0x0b, 0x93, 0x7c}};

    explicit CvelPasswordAuthenticator(BSTR password);
    ~CvelPasswordAuthenticator() override;

    STDMETHODIMP GetPassword(BSTR* pPassword) override;

private:
    BSTR m_password;
};

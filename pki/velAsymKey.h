// A private key: locked (encrypted as stored) until Decrypt opens it with its password, which
// export and PKCS#12 need.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <velTesseraComm/DispatchTables.h>

#include "OpenSslOwners.h"
#include "PkiObject.h"

class CvelAsymKey final : public PkiObject<CvelAsymKey, ISMAsymKey> {
public:
    static constexpr IID kImplementationId = {
        0x5b0e3c1a, 0x2f6d, 0x4e8b, {0x9a, 0x11, 0x3c, 0x7d, 0x52, 0x90, 0x6e, 0x02}};

    // Stores a newly encrypted form when Encrypt changes the password.
    using Reencrypted = std::function<void(const std::string& privateKey)>;

    CvelAsymKey(std::string privateKey, Reencrypted reencrypted);
    // A key already open, as a PKCS#12 file gives it.
    explicit CvelAsymKey(KeyOwner key);

    // The open key; a failure while it is locked.
    EVP_PKEY* openKey() const;

    STDMETHODIMP Decrypt(BSTR strPass) override;
    // Encrypts the open key anew with strPass and keeps that form in the store.
    STDMETHODIMP Encrypt(BSTR strPass) override;
    STDMETHODIMP get_Length(LONG* pVal) override;
    STDMETHODIMP get_Type(KeyType* pVal) override;

private:
    std::string m_strPrivateKey;
    Reencrypted m_reencrypted;
    KeyOwner m_key;
};

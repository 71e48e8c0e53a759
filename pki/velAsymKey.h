// A private key: locked (encrypted as stored) until Decrypt opens it with its password, which
// export and PKCS#12 need.
#pragma once

#include <functional>
#include <string>

#include "KeyAutomation.h"
#include "OpenSslOwners.h"

class CvelAsymKey final : public KeyAutomation<CvelAsymKey> {
    friend class KeyAutomation<CvelAsymKey>;

public:
    // Stores a newly encrypted form when Encrypt changes the password.
    using Reencrypted = std::function<void(const std::string& privateKey)>;

    CvelAsymKey(std::string privateKey, Reencrypted reencrypted);
    // A key already open, as a PKCS#12 file gives it.
    explicit CvelAsymKey(KeyOwner key);

    // The open key; a failure while it is locked.
    EVP_PKEY* openKey() const;

private:
    void unlock(const std::string& password);
    // Encrypts the open key anew and keeps that form in the store.
    void reseal(const std::string& password);
    int bits() const;
    bool rsaKey() const;

    std::string m_strPrivateKey;
    Reencrypted m_reencrypted;
    KeyOwner m_key;
};

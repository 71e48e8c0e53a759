// An RSA key pair that rsaenh keeps in a named key container of the user's profile, where it
// survives the process: CNG keys are not kept under Wine, so the older provider keeps them on
// every system. The key is the container's exchange key, exportable, so that it can sign,
// decrypt and be written to a file.
#pragma once

#include <string>

#include "CryptOwners.h"

inline constexpr DWORD kKeySpec = AT_KEYEXCHANGE;

class KeyContainer {
public:
    // A new container under a name of its own, holding a new key of that many bits.
    static KeyContainer create(DWORD bits);
    // The container of that name; NTE_BAD_KEYSET when there is none.
    static KeyContainer open(const std::string& name);
    // Deletes the container and its key; nothing when it is gone already.
    static void remove(const std::string& name);

    const std::string& name() const { return m_name; }
    HCRYPTPROV provider() const { return m_provider.get(); }
    CryptKey key() const;
    // The DER SubjectPublicKeyInfo of the key.
    std::string publicKeyInfo() const;
    DWORD bits() const;

private:
    KeyContainer(std::string name, CryptProvider provider)
        : m_name(std::move(name)), m_provider(std::move(provider)) {}

    std::string m_name;
    CryptProvider m_provider;
};

// The keys this object sealed under a password, remembered by a keyed digest of key and
// password, never the password itself. The pick-up that follows an application checks the
// password it is given against that digest instead of deriving the key's encryption once more
// (a derivation costs as much as the rest of the application together).
#pragma once

#include <array>
#include <deque>
#include <string>

class SealedKeys {
public:
    SealedKeys() = default;
    ~SealedKeys();
    SealedKeys(const SealedKeys&) = delete;
    SealedKeys& operator=(const SealedKeys&) = delete;

    void remember(const std::string& encryptedKey, const std::string& password);
    // Whether this object sealed the key under this very password; false says nothing.
    bool sealedUnder(const std::string& encryptedKey, const std::string& password) const;

private:
    std::string digestOf(const std::string& encryptedKey, const std::string& password) const;

    // Drawn when the first key is sealed.
    std::array<unsigned char, 32> m_secret{};
    bool m_hasSecret = false;
    // The latest few: one application seals one key, a host that keeps the object makes a few.
    std::deque<std::string> m_digests;
};

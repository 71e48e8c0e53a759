// The password of a key. rsaenh keeps the key itself unencrypted in the user's profile, so the
// password guards the component's use of it: a salted PBKDF2-HMAC-SHA256 digest is kept, never
// the password (PBKDF2 over as many iterations as a key file's), and the object remembers a keyed
// digest of each password it has checked, so that a pick-up right after its application does not
// derive again.
#pragma once

#include <string>
#include <vector>

struct PasswordDigest {
    std::string salt;
    std::string digest;
};

PasswordDigest digestOfNewPassword(const std::string& password);

class PasswordCheck {
public:
    // Whether password is the one digest was made of; checked once per object.
    bool matches(const PasswordDigest& digest, const std::string& password);
    void remember(const PasswordDigest& digest, const std::string& password);

private:
    std::string memoryOf(const PasswordDigest& digest, const std::string& password);
    void keep(std::string memory);

    // Drawn when the first password is remembered.
    std::string m_secret;
    std::vector<std::string> m_checked;
};

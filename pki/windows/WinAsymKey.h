// A private key in its rsaenh key container: locked until Decrypt is given its password, which
// its use in files needs.
#pragma once

#include <memory>
#include <string>

#include "KeyAutomation.h"
#include "PasswordCheck.h"

class CvelAsymKey final : public KeyAutomation<CvelAsymKey> {
    friend class KeyAutomation<CvelAsymKey>;

public:
    // passwords: the checks of the component object that found the key, shared with it. A key
    // given open (one a PKCS#12 file brought) needs no Decrypt.
    CvelAsymKey(std::string container, std::shared_ptr<PasswordCheck> passwords, bool open = false);

    // The key's container once it is open; a failure while it is locked.
    const std::string& openContainer() const;

private:
    void unlock(const std::string& password);
    // Puts the open key under the password from now on.
    void reseal(const std::string& password);
    DWORD bits() const;
    // The containers hold RSA keys only.
    bool rsaKey() const;

    std::string m_container;
    std::shared_ptr<PasswordCheck> m_passwords;
    bool m_open = false;
};

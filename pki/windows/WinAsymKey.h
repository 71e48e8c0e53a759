// A private key in its rsaenh key container: locked until Decrypt is given its password, which
// its use in files needs.
#pragma once

#include <memory>
#include <string>

#include <velTesseraComm/DispatchTables.h>

#include "PasswordCheck.h"
#include "PkiObject.h"

class CvelAsymKey final : public PkiObject<CvelAsymKey, ISMAsymKey> {
public:
    static constexpr IID kImplementationId = {
        0x5b0e3c1a, 0x2f6d, 0x4e8b, {0x9a, 0x11, 0x3c, 0x7d, 0x52, 0x90, 0x6e, 0x02}};

    // passwords: the checks of the component object that found the key, shared with it. A key
    // given open (one a PKCS#12 file brought) needs no Decrypt.
    CvelAsymKey(std::string container, std::shared_ptr<PasswordCheck> passwords, bool open = false);

    // The key's container once it is open; a failure while it is locked.
    const std::string& openContainer() const;

    STDMETHODIMP Decrypt(BSTR strPass) override;
    // Puts the open key under strPass from now on.
    STDMETHODIMP Encrypt(BSTR strPass) override;
    STDMETHODIMP get_Length(LONG* pVal) override;
    STDMETHODIMP get_Type(KeyType* pVal) override;

private:
    std::string m_container;
    std::shared_ptr<PasswordCheck> m_passwords;
    bool m_open = false;
};

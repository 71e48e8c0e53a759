#include "velAsymKey.h"

#include "AutomationValues.h"
#include "ErrorBoundary.h"
#include "Keys.h"
#include "text/AnsiText.h"

CvelAsymKey::CvelAsymKey(std::string privateKey, Reencrypted reencrypted)
    : PkiObject(kISMAsymKeyMembers),
      m_strPrivateKey(std::move(privateKey)),
      m_reencrypted(std::move(reencrypted)) {}

CvelAsymKey::CvelAsymKey(KeyOwner key) : PkiObject(kISMAsymKeyMembers), m_key(std::move(key)) {}

EVP_PKEY* CvelAsymKey::openKey() const {
    if (!m_key) failWith(E_ACCESSDENIED, "the key is locked: Decrypt it with its password first");
    return m_key.get();
}

STDMETHODIMP CvelAsymKey::Decrypt(BSTR strPass) {
    return errorBoundary(interfaceId(), "Decrypt", [&] {
        if (m_strPrivateKey.empty()) return;
        m_key = decryptKey(m_strPrivateKey, toAnsi(strPass));
    });
}

STDMETHODIMP CvelAsymKey::Encrypt(BSTR strPass) {
    return errorBoundary(interfaceId(), "Encrypt", [&] {
        std::string encrypted = encryptKey(openKey(), toAnsi(strPass));
        if (m_reencrypted) m_reencrypted(encrypted);
        m_strPrivateKey = std::move(encrypted);
    });
}

STDMETHODIMP CvelAsymKey::get_Length(LONG* pVal) {
    return errorBoundary(interfaceId(), "Length", [&] {
        requireOut(pVal);
        *pVal = EVP_PKEY_get_bits(openKey());
    });
}

STDMETHODIMP CvelAsymKey::get_Type(KeyType* pVal) {
    return errorBoundary(interfaceId(), "Type", [&] {
        requireOut(pVal);
        if (EVP_PKEY_get_base_id(openKey()) != EVP_PKEY_RSA)
            failWith(E_NOTIMPL, "the key type has no name in KeyType");
        *pVal = SMRSAKey;
    });
}

// A client certificate as velPKI.dll leaves it in the user's store (CurrentUser\My): self-signed
// here, linked to its exportable RSA key in an rsaenh container of its name. The certificate and
// the container go again with their owner.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include <fstream>
#include <stdexcept>
#include <string>

#include "CryptOwners.h"

class StoredClientCertificate {
public:
    // Written as PEM to `pemFile`.
    StoredClientCertificate(const std::wstring& name, const std::string& pemFile)
        : m_name(name),
          m_store(CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER,
                                L"My")) {
        forgetKey();
        CryptProvider provider;
        CryptKey key;
        const std::wstring subject = L"CN=" + name;
        BYTE encoded[512];
        DWORD size = sizeof encoded;
        CRYPT_KEY_PROV_INFO link{
            m_name.data(), const_cast<wchar_t*>(MS_ENH_RSA_AES_PROV_W), PROV_RSA_AES, 0, 0, nullptr,
            AT_KEYEXCHANGE};
        CRYPT_ALGORITHM_IDENTIFIER signature{const_cast<char*>(szOID_RSA_SHA256RSA), {}};
        PCCERT_CONTEXT stored = nullptr;
        if (!m_store ||
            !CryptAcquireContextW(provider.put(), name.c_str(), MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES,
                                  CRYPT_NEWKEYSET) ||
            !CryptGenKey(provider.get(), AT_KEYEXCHANGE, (2048u << 16) | CRYPT_EXPORTABLE,
                         key.put()) ||
            !CertStrToNameW(X509_ASN_ENCODING, subject.c_str(), CERT_X500_NAME_STR, nullptr,
                            encoded, &size, nullptr))
            throw std::runtime_error("no key: " + std::to_string(GetLastError()));
        CERT_NAME_BLOB blob{size, encoded};
        const CertContext made(CertCreateSelfSignCertificate(
            provider.get(), &blob, 0, &link, &signature, nullptr, nullptr, nullptr));
        // With its properties, the link to its key among them, written for other handles.
        if (!made ||
            !CertAddCertificateContextToStore(m_store.get(), made.get(),
                                              CERT_STORE_ADD_REPLACE_EXISTING, &stored) ||
            !CertControlStore(m_store.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr))
            throw std::runtime_error("not stored: " + std::to_string(GetLastError()));
        m_stored.reset(stored);
        DWORD length = 0;
        CryptBinaryToStringA(made->pbCertEncoded, made->cbCertEncoded, CRYPT_STRING_BASE64HEADER,
                             nullptr, &length);
        std::string pem(length, '\0');
        CryptBinaryToStringA(made->pbCertEncoded, made->cbCertEncoded, CRYPT_STRING_BASE64HEADER,
                             pem.data(), &length);
        std::ofstream(pemFile, std::ios::binary) << pem.substr(0, length);
    }
    StoredClientCertificate(const StoredClientCertificate&) = delete;
    StoredClientCertificate& operator=(const StoredClientCertificate&) = delete;
    ~StoredClientCertificate() {
        CertDeleteCertificateFromStore(m_stored.release());
        CertControlStore(m_store.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr);
        forgetKey();
    }

    // The key goes; the certificate stays, linked to a container that is no more.
    void forgetKey() {
        HCRYPTPROV gone = 0;
        CryptAcquireContextW(&gone, m_name.c_str(), MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES,
                             CRYPT_DELETEKEYSET);
    }

private:
    std::wstring m_name;
    CertStore m_store;
    CertContext m_stored;
};

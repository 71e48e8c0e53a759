// Certificates in the user's store (CurrentUser\My) as velPKI.dll leaves them, for the transport's
// client certificate: one made here with its key in an rsaenh container and linked to it, and
// others without a key. Each is removed again, with its container, when the owner goes.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "CryptOwners.h"

class StoredCertificates {
public:
    StoredCertificates() : m_store(CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                                 CERT_SYSTEM_STORE_CURRENT_USER, L"My")) {
        if (!m_store) throw std::runtime_error("the user's store cannot be opened");
    }
    StoredCertificates(const StoredCertificates&) = delete;
    StoredCertificates& operator=(const StoredCertificates&) = delete;
    ~StoredCertificates() {
        for (const CertContext& stored : m_added)
            CertDeleteCertificateFromStore(CertDuplicateCertificateContext(stored.get()));
        CertControlStore(m_store.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr);
        HCRYPTPROV gone = 0;
        if (!m_container.empty())
            CryptAcquireContextW(&gone, m_container.c_str(), MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES,
                                 CRYPT_DELETEKEYSET);
    }

    // A self-signed certificate "CN=<name>" whose exportable RSA key lives in the container
    // <name>, written as PEM to `pemFile`.
    void addWithKey(const std::wstring& name, const std::string& pemFile) {
        m_container = name;
        CryptProvider provider;
        HCRYPTPROV gone = 0;
        CryptAcquireContextW(&gone, name.c_str(), MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES,
                             CRYPT_DELETEKEYSET);
        CryptKey key;
        if (!CryptAcquireContextW(provider.put(), name.c_str(), MS_ENH_RSA_AES_PROV_W,
                                  PROV_RSA_AES, CRYPT_NEWKEYSET) ||
            !CryptGenKey(provider.get(), AT_KEYEXCHANGE, (2048u << 16) | CRYPT_EXPORTABLE,
                         key.put()))
            throw std::runtime_error("no key: " + std::to_string(GetLastError()));
        const std::wstring subject = L"CN=" + name;
        BYTE encoded[512];
        DWORD size = sizeof encoded;
        if (!CertStrToNameW(X509_ASN_ENCODING, subject.c_str(), CERT_X500_NAME_STR, nullptr,
                            encoded, &size, nullptr))
            throw std::runtime_error("no name: " + std::to_string(GetLastError()));
        CERT_NAME_BLOB blob{size, encoded};
        CRYPT_KEY_PROV_INFO link{};
        link.pwszContainerName = const_cast<wchar_t*>(name.c_str());
        link.pwszProvName = const_cast<wchar_t*>(MS_ENH_RSA_AES_PROV_W);
        link.dwProvType = PROV_RSA_AES;
        link.dwKeySpec = AT_KEYEXCHANGE;
        CRYPT_ALGORITHM_IDENTIFIER signature{const_cast<char*>(szOID_RSA_SHA256RSA), {}};
        const CertContext made(CertCreateSelfSignCertificate(provider.get(), &blob, 0, &link,
                                                             &signature, nullptr, nullptr,
                                                             nullptr));
        if (!made) throw std::runtime_error("no certificate: " + std::to_string(GetLastError()));
        // With its properties, the link to its key among them.
        PCCERT_CONTEXT stored = nullptr;
        if (!CertAddCertificateContextToStore(m_store.get(), made.get(),
                                              CERT_STORE_ADD_REPLACE_EXISTING, &stored))
            throw std::runtime_error("not stored: " + std::to_string(GetLastError()));
        keep(stored);
        writePem(made.get(), pemFile);
    }

    // The certificate's DER bytes, in the store without a key.
    void add(const BYTE* der, DWORD size) {
        PCCERT_CONTEXT stored = nullptr;
        if (!CertAddEncodedCertificateToStore(m_store.get(), X509_ASN_ENCODING, der, size,
                                              CERT_STORE_ADD_REPLACE_EXISTING, &stored))
            throw std::runtime_error("not stored: " + std::to_string(GetLastError()));
        keep(stored);
    }

private:
    void keep(PCCERT_CONTEXT stored) {
        m_added.emplace_back(stored);
        // Other handles on the store see it once it is written.
        CertControlStore(m_store.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr);
    }

    static void writePem(PCCERT_CONTEXT certificate, const std::string& path) {
        DWORD size = 0;
        CryptBinaryToStringA(certificate->pbCertEncoded, certificate->cbCertEncoded,
                             CRYPT_STRING_BASE64HEADER, nullptr, &size);
        std::string pem(size, '\0');
        CryptBinaryToStringA(certificate->pbCertEncoded, certificate->cbCertEncoded,
                             CRYPT_STRING_BASE64HEADER, pem.data(), &size);
        pem.resize(size);
        std::ofstream(path, std::ios::binary) << pem;
    }

    CertStore m_store;
    std::vector<CertContext> m_added;
    std::wstring m_container;
};

// Files in and out: PEM certificates and revocation lists, a key written under its password,
// and PKCS#12 bundles of a certificate with its key.
#include <openssl/pem.h>

#include "AutomationValues.h"
#include "DerText.h"
#include "ErrorBoundary.h"
#include "Keys.h"
#include "PemFiles.h"
#include "text/AnsiText.h"
#include "velAsymKey.h"
#include "velPKI.h"
#include "velRevocationList.h"

namespace {

std::string revocationListDerOf(ISMRevocationList* list) {
    if (const auto own = CvelRevocationList::own(list)) return revocationListDer(own->list());
    velcom::Variant text;
    const HRESULT read = list->AsBinaryString(1, text.put());
    if (FAILED(read)) failWith(read, "the revocation list does not give its Base64 text");
    return fromBase64(bytesOf(*text.get()));
}

velcom::ComPtr<CvelAsymKey> ownKey(ISMAsymKey* key) {
    const auto own = CvelAsymKey::own(key);
    if (!own) failWith(E_INVALIDARG, "the key was not given by this component");
    return own;
}

}  // namespace

STDMETHODIMP CvelPKI::Load(BSTR strFile, ISMCertificateList** ppCertList, ISMCRLList** ppCRLList) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "Load", [&] {
        requireOut(ppCertList);
        requireOut(ppCRLList);
        *ppCertList = nullptr;
        *ppCRLList = nullptr;
        PemContents contents = readPemFile(toAnsi(strFile));
        const auto certificates = CvelCertificateList::make();
        for (X509Owner& certificate : contents.certificates)
            certificates->append(CvelCertificate::make(std::move(certificate), 0));
        const auto lists = CvelCRLList::make();
        for (CrlOwner& list : contents.revocationLists)
            lists->append(CvelRevocationList::make(std::move(list)));
        *ppCertList = certificates->handOut();
        *ppCRLList = lists->handOut();
    });
}

STDMETHODIMP CvelPKI::Import(ISMCertificateList* pCertList, ISMCRLList* pCRLList) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "Import", [&] {
        std::vector<X509Owner> certificates;
        std::vector<CrlOwner> lists;
        LONG count = 0;
        if (pCertList != nullptr && SUCCEEDED(pCertList->get_Count(&count))) {
            for (LONG index = 0; index < count; ++index) {
                velcom::ComPtr<ISMCertificate> certificate;
                const HRESULT got = pCertList->get_Item(index, certificate.put());
                if (FAILED(got)) failWith(got, "the certificate list does not give its items");
                certificates.push_back(certificateOf(certificate.get()));
            }
        }
        if (pCRLList != nullptr && SUCCEEDED(pCRLList->get_Count(&count))) {
            for (LONG index = 0; index < count; ++index) {
                velcom::ComPtr<ISMRevocationList> list;
                const HRESULT got = pCRLList->get_Item(index, list.put());
                if (FAILED(got)) failWith(got, "the revocation list list does not give its items");
                lists.push_back(revocationListFromDer(revocationListDerOf(list.get())));
            }
        }
        requireChained(certificates);
        for (const CrlOwner& list : lists) requireFromAnchor(list.get());
        storeWithRevocations(certificates, lists);
    });
}

STDMETHODIMP CvelPKI::Export2(BSTR strFile, FileFormat sFormat, FileEncoding sEncoding,
                              VARIANT vCertIDs) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "Export2", [&] {
        if (sFormat != SMFormatX509) failWith(E_NOTIMPL, "certificates are exported as X.509");
        const std::vector<std::int64_t> ids = numbersOf(vCertIDs);
        if (ids.empty()) failWith(E_INVALIDARG, "no certificate to export");
        if (sEncoding == SMEncodingDER && ids.size() != 1)
            failWith(E_INVALIDARG, "a DER file holds one certificate");
        std::string bytes;
        for (const std::int64_t id : ids) {
            const auto stored = storedCertificate(id);
            X509* certificate = stored->certificate();
            bytes += sEncoding == SMEncodingPEM ? certificatePem(certificate)
                                                : certificateDer(certificate);
        }
        writeKeyMaterialFile(toAnsi(strFile), bytes);
    });
}

STDMETHODIMP CvelPKI::ExportKey(BSTR strFile, BSTR strPass, FileFormat sFormat,
                                FileEncoding sEncoding, ISMAsymKey* pKey) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "ExportKey", [&] {
        if ((sFormat != SMFormatRawKey && sFormat != SMFormatPKCS8) || sEncoding != SMEncodingPEM)
            failWith(E_NOTIMPL, "keys are exported as PKCS#8 in PEM");
        const std::string password = toAnsi(strPass);
        if (password.empty() && sFormat != SMFormatPKCS8)
            failWith(E_INVALIDARG, "a key is written in the clear only as PKCS#8");
        EVP_PKEY* key = ownKey(pKey)->openKey();
        writeKeyMaterialFile(toAnsi(strFile),
                             password.empty() ? plainKey(key) : encryptKey(key, password));
    });
}

STDMETHODIMP CvelPKI::ExportPKCS12(BSTR strFile, BSTR strPass, ISMCertificate* pCertificate,
                                   ISMAsymKey* pKey, LONG bWithChain) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "ExportPKCS12", [&] {
        const X509Owner certificate = certificateOf(pCertificate);
        const auto key = ownKey(pKey);
        const X509StackOwner chain =
            bWithChain != 0 ? issuerChain(certificate.get()) : X509StackOwner(sk_X509_new_null());
        std::string name = commonNameOf(X509_get_subject_name(certificate.get()));
        const std::string password = toAnsi(strPass);
        // Key and certificates under AES-256 with PBKDF2-HMAC-SHA256, which current OpenSSL reads
        // without its legacy provider; the MAC is added on its own to choose SHA-256.
        const Pkcs12Owner bundle =
            owned<Pkcs12Owner>(PKCS12_create(password.c_str(), name.data(), key->openKey(),
                                             certificate.get(), chain.get(), NID_aes_256_cbc,
                                             NID_aes_256_cbc, kKeyDerivationIterations, -1, 0),
                               "making the PKCS#12 bundle");
        checkSsl(PKCS12_set_mac(bundle.get(), password.c_str(), -1, nullptr, 0,
                                kKeyDerivationIterations, EVP_sha256()),
                 "sealing the PKCS#12 bundle");
        const BioOwner bio = owned<BioOwner>(BIO_new(BIO_s_mem()), "allocating a buffer");
        checkSsl(i2d_PKCS12_bio(bio.get(), bundle.get()), "encoding the PKCS#12 bundle");
        writeKeyMaterialFile(toAnsi(strFile), bioText(bio.get()));
    });
}

STDMETHODIMP CvelPKI::LoadPKCS12(BSTR strFile, BSTR strPass, ISMCertificateList** ppCertList,
                                 ISMKeyList** ppKeyList) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "LoadPKCS12", [&] {
        requireOut(ppCertList);
        requireOut(ppKeyList);
        *ppCertList = nullptr;
        *ppKeyList = nullptr;
        const BioOwner file = owned<BioOwner>(BIO_new_file(toAnsi(strFile).c_str(), "rb"),
                                              "opening the PKCS#12 file");
        const Pkcs12Owner bundle =
            owned<Pkcs12Owner>(d2i_PKCS12_bio(file.get(), nullptr), "reading the PKCS#12 file");
        EVP_PKEY* key = nullptr;
        X509* certificate = nullptr;
        STACK_OF(X509)* authorities = nullptr;
        const int parsed =
            PKCS12_parse(bundle.get(), toAnsi(strPass).c_str(), &key, &certificate, &authorities);
        KeyOwner keyOwner(key);
        X509Owner certificateOwner(certificate);
        const X509StackOwner authoritiesOwner(authorities);
        if (parsed != 1)
            failWith(E_ACCESSDENIED,
                     "the password does not open the PKCS#12 file (" + takeOpenSslReasons() + ")");
        const auto certificates = CvelCertificateList::make();
        if (certificateOwner)
            certificates->append(CvelCertificate::make(std::move(certificateOwner), 0));
        while (authorities != nullptr && sk_X509_num(authorities) > 0)
            certificates->append(CvelCertificate::make(X509Owner(sk_X509_shift(authorities)), 0));
        const auto keys = CvelKeyList::make();
        if (keyOwner) keys->append(CvelAsymKey::make(std::move(keyOwner)));
        *ppCertList = certificates->handOut();
        *ppKeyList = keys->handOut();
    });
}

// Files in and out: certificates and revocation lists as PEM or DER, a key written under its
// password, and PKCS#12 bundles of a certificate with its key.
#include "AutomationValues.h"
#include "Base64.h"
#include "CryptText.h"
#include "EncryptedKeyFile.h"
#include "ErrorBoundary.h"
#include "KeyContainer.h"
#include "PemBundle.h"
#include "Pkcs12Files.h"
#include "PrivateKeyInfo.h"
#include "SystemFiles.h"
#include "SystemVerification.h"
#include "UserStores.h"
#include "WinAsymKey.h"
#include "WinPki.h"
#include "WinRevocationList.h"
#include "text/AnsiText.h"

namespace {

CrlContext revocationListOf(ISMRevocationList* list) {
    if (const auto own = CvelRevocationList::own(list))
        return CrlContext(CertDuplicateCRLContext(own->list()));
    velcom::Variant text;
    const HRESULT read = list->AsBinaryString(1, text.put());
    if (FAILED(read)) failWith(read, "the revocation list does not give its Base64 text");
    const std::string der = fromBase64(bytesOf(*text.get()));
    CrlContext decoded(CertCreateCRLContext(kEncoding, reinterpret_cast<const BYTE*>(der.data()),
                                            static_cast<DWORD>(der.size())));
    if (!decoded) failWith(E_INVALIDARG, "the bytes are not a revocation list");
    return decoded;
}

velcom::ComPtr<CvelAsymKey> ownKey(ISMAsymKey* key) {
    const auto own = CvelAsymKey::own(key);
    if (!own) failWith(E_INVALIDARG, "the key was not given by this component");
    return own;
}

// The container a certificate's key property names; empty without one.
std::string linkedContainer(PCCERT_CONTEXT certificate) {
    DWORD size = 0;
    if (!CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size))
        return {};
    std::string bytes(size, '\0');
    checkSystem(CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID,
                                                  bytes.data(), &size),
                "reading the certificate's key");
    const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(bytes.data());
    std::string name;
    for (const wchar_t* c = info->pwszContainerName; c != nullptr && *c != 0; ++c)
        name += static_cast<char>(*c);
    return name;
}

}  // namespace

STDMETHODIMP CvelPKI::Load(BSTR strFile, ISMCertificateList** ppCertList, ISMCRLList** ppCRLList) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "Load", [&] {
        requireOut(ppCertList);
        requireOut(ppCRLList);
        *ppCertList = nullptr;
        *ppCRLList = nullptr;
        CertificatesAndLists contents = readCertificatesAndLists(toAnsi(strFile));
        const auto certificates = CvelCertificateList::make();
        for (CertContext& certificate : contents.certificates)
            certificates->append(CvelCertificate::make(std::move(certificate), 0));
        const auto lists = CvelCRLList::make();
        for (CrlContext& list : contents.lists)
            lists->append(CvelRevocationList::make(std::move(list)));
        *ppCertList = certificates->handOut();
        *ppCRLList = lists->handOut();
    });
}

STDMETHODIMP CvelPKI::Import(ISMCertificateList* pCertList, ISMCRLList* pCRLList) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "Import", [&] {
        std::vector<CertContext> certificates;
        std::vector<CrlContext> lists;
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
                lists.push_back(revocationListOf(list.get()));
            }
        }
        requireChained(certificates);
        for (const CrlContext& list : lists) requireFromAnchor(list.get());
        for (const CertContext& certificate : certificates) keepAuthority(certificate.get());
        std::vector<PCCRL_CONTEXT> held;
        for (const CrlContext& list : lists) {
            storeRevocationList(list.get());
            held.push_back(list.get());
        }
        for (const CertificateRecord& record : pkiRegistry::certificates())
            if (const CertContext stored = ::storedCertificate(record.hash);
                !record.revoked && stored && isRevoked(stored.get(), held))
                pkiRegistry::markRevoked(record.id);
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
            const auto stored = storedCertificate(static_cast<long>(id));
            bytes += sEncoding == SMEncodingPEM ? certificatePem(stored->certificate())
                                                : derOf(stored->certificate());
        }
        writeFileAtomically(toAnsi(strFile), bytes);
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
        const KeyContainer container = KeyContainer::open(ownKey(pKey)->openContainer());
        const CryptKey key = container.key();
        if (password.empty()) {
            const SecretBytes plain = privateKeyInfo(key.get());
            writeTextFile(toAnsi(strFile), pemBlock("PRIVATE KEY", plain.bytes));
        } else {
            writeEncryptedKey(toAnsi(strFile), key.get(), password);
        }
    });
}

STDMETHODIMP CvelPKI::ExportPKCS12(BSTR strFile, BSTR strPass, ISMCertificate* pCertificate,
                                   ISMAsymKey* pKey, LONG bWithChain) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "ExportPKCS12", [&] {
        CertContext certificate = certificateOf(pCertificate);
        // The copy in the user's store carries the link to the key.
        if (CertContext stored = ::storedCertificate(sha1Of(certificate.get())))
            certificate = std::move(stored);
        if (linkedContainer(certificate.get()) != ownKey(pKey)->openContainer())
            failWith(E_INVALIDARG, "the key is not the certificate's");
        std::vector<CertContext> chain;
        if (bWithChain != 0) chain = issuerChain(certificate.get());
        std::vector<PCCERT_CONTEXT> held;
        for (const CertContext& issuer : chain) held.push_back(issuer.get());
        exportPkcs12(toAnsi(strFile), certificate.get(), toAnsi(strPass), held);
    });
}

STDMETHODIMP CvelPKI::LoadPKCS12(BSTR strFile, BSTR strPass, ISMCertificateList** ppCertList,
                                 ISMKeyList** ppKeyList) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "LoadPKCS12", [&] {
        requireOut(ppCertList);
        requireOut(ppKeyList);
        *ppCertList = nullptr;
        *ppKeyList = nullptr;
        const CertStore bundle = importPkcs12(toAnsi(strFile), toAnsi(strPass));
        const auto certificates = CvelCertificateList::make();
        const auto keys = CvelKeyList::make();
        // Each step frees the context it is given.
        for (PCCERT_CONTEXT certificate = CertEnumCertificatesInStore(bundle.get(), nullptr);
             certificate != nullptr;
             certificate = CertEnumCertificatesInStore(bundle.get(), certificate)) {
            certificates->append(CvelCertificate::make(
                CertContext(CertDuplicateCertificateContext(certificate)), 0));
            if (const std::string container = linkedContainer(certificate); !container.empty())
                keys->append(CvelAsymKey::make(container, m_passwords, true));
        }
        *ppCertList = certificates->handOut();
        *ppKeyList = keys->handOut();
    });
}

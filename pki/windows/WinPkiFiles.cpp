// Files in and out: certificates and revocation lists as PEM or DER, a key written under its
// password, and PKCS#12 bundles of a certificate with its key.
#include "CryptText.h"
#include "EncryptedKeyFile.h"
#include "ForeignDer.h"
#include "KeyContainer.h"
#include "ListItems.h"
#include "PemBundle.h"
#include "Pkcs12Files.h"
#include "PkiFailure.h"
#include "PrivateKeyInfo.h"
#include "SystemFiles.h"
#include "SystemVerification.h"
#include "UserStores.h"
#include "WinAsymKey.h"
#include "WinPki.h"
#include "WinRevocationList.h"

namespace {

CrlContext revocationListOf(ISMRevocationList* list) {
    if (const auto own = CvelRevocationList::own(list))
        return CrlContext(CertDuplicateCRLContext(own->list()));
    const std::string der = foreignDer(list);
    CrlContext decoded(CertCreateCRLContext(kEncoding, reinterpret_cast<const BYTE*>(der.data()),
                                            static_cast<DWORD>(der.size())));
    if (!decoded) failWith(E_INVALIDARG, "the bytes are not a revocation list");
    return decoded;
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

void CvelPKI::importAll(ISMCertificateList* pCertList, ISMCRLList* pCRLList) {
    const std::vector<CertContext> certificates =
        itemsOf<ISMCertificate>(pCertList, "the certificate list does not give its items",
                                [&](ISMCertificate* item) { return certificateOf(item); });
    const std::vector<CrlContext> lists =
        itemsOf<ISMRevocationList>(pCRLList, "the revocation list list does not give its items",
                                   [](ISMRevocationList* item) { return revocationListOf(item); });
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
}

void CvelPKI::writePkcs12(const std::string& file, const std::string& password,
                          ISMCertificate* pCertificate, ISMAsymKey* pKey, bool withChain) {
    CertContext certificate = certificateOf(pCertificate);
    // The copy in the user's store carries the link to the key.
    if (CertContext stored = ::storedCertificate(sha1Of(certificate.get())))
        certificate = std::move(stored);
    if (linkedContainer(certificate.get()) != CvelAsymKey::given(pKey)->openContainer())
        failWith(E_INVALIDARG, "the key is not the certificate's");
    std::vector<CertContext> chain;
    if (withChain) chain = issuerChain(certificate.get());
    std::vector<PCCERT_CONTEXT> held;
    for (const CertContext& issuer : chain) held.push_back(issuer.get());
    exportPkcs12(file, certificate.get(), password, held);
}

void CvelPKI::loadFile(const std::string& file, CvelCertificateList& certificates,
                       CvelCRLList& lists) {
    CertificatesAndLists contents = readCertificatesAndLists(file);
    for (CertContext& certificate : contents.certificates)
        certificates.append(CvelCertificate::make(std::move(certificate), 0));
    for (CrlContext& list : contents.lists) lists.append(CvelRevocationList::make(std::move(list)));
}

void CvelPKI::loadPkcs12(const std::string& file, const std::string& password,
                         CvelCertificateList& certificates, CvelKeyList& keys) {
    const CertStore bundle = importPkcs12(file, password);
    // Each step frees the context it is given.
    for (PCCERT_CONTEXT certificate = CertEnumCertificatesInStore(bundle.get(), nullptr);
         certificate != nullptr;
         certificate = CertEnumCertificatesInStore(bundle.get(), certificate)) {
        certificates.append(
            CvelCertificate::make(CertContext(CertDuplicateCertificateContext(certificate)), 0));
        if (const std::string container = linkedContainer(certificate); !container.empty())
            keys.append(CvelAsymKey::make(container, m_passwords, true));
    }
}

std::string CvelPKI::certificateFileText(std::int64_t id, bool pem) {
    const auto stored = storedCertificate(static_cast<long>(id));
    return pem ? certificatePem(stored->certificate()) : derOf(stored->certificate());
}

void CvelPKI::writeCertificateFile(const std::string& file, const std::string& bytes) {
    writeFileAtomically(file, bytes);
}

void CvelPKI::writeKeyFile(const std::string& file, ISMAsymKey* key, const std::string& password) {
    const KeyContainer container = KeyContainer::open(CvelAsymKey::given(key)->openContainer());
    const CryptKey opened = container.key();
    if (password.empty()) {
        const SecretBytes plain = privateKeyInfo(opened.get());
        writeTextFile(file, pemBlock("PRIVATE KEY", plain.bytes));
    } else {
        writeEncryptedKey(file, opened.get(), password);
    }
}

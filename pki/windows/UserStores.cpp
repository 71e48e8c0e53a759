#include "UserStores.h"

#include "CryptText.h"
#include "KeyContainer.h"
#include "SystemFailure.h"

namespace {

// provider: CERT_STORE_PROV_SYSTEM_W, the store as the system shows it, or
// CERT_STORE_PROV_SYSTEM_REGISTRY_W, the user's own part of it in the registry.
CertStore opened(UserStore which, LPCSTR provider) {
    CertStore store(CertOpenStore(provider, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER,
                                  which == UserStore::My ? L"My" : L"CA"));
    if (!store)
        failSystem(std::string("opening the user's certificate store ") +
                   (which == UserStore::My ? "My" : "CA"));
    return store;
}

CertContext foundIn(HCERTSTORE store, const std::string& hash) {
    const CRYPT_HASH_BLOB blob = blobOf(hash);
    return CertContext(
        CertFindCertificateInStore(store, kEncoding, 0, CERT_FIND_SHA1_HASH, &blob, nullptr));
}

CertContext added(UserStore which, PCCERT_CONTEXT certificate) {
    const CertStore store = opened(which, CERT_STORE_PROV_SYSTEM_W);
    PCCERT_CONTEXT stored = nullptr;
    checkSystem(CertAddCertificateContextToStore(store.get(), certificate,
                                                 CERT_STORE_ADD_REPLACE_EXISTING, &stored),
                "adding the certificate to the user's store");
    return CertContext(stored);
}

}  // namespace

CertStore openUserStore(UserStore which) { return opened(which, CERT_STORE_PROV_SYSTEM_W); }

CertContext storedCertificate(const std::string& hash) {
    for (const UserStore which : {UserStore::My, UserStore::CA})
        if (CertContext found = foundIn(openUserStore(which).get(), hash)) return found;
    return nullptr;
}

void storeWithKey(PCCERT_CONTEXT certificate, const std::string& container) {
    const CertContext stored = added(UserStore::My, certificate);
    std::wstring name(container.begin(), container.end());
    CRYPT_KEY_PROV_INFO key{};
    key.pwszContainerName = name.data();
    key.pwszProvName = const_cast<wchar_t*>(MS_ENH_RSA_AES_PROV_W);
    key.dwProvType = PROV_RSA_AES;
    key.dwKeySpec = kKeySpec;
    checkSystem(
        CertSetCertificateContextProperty(stored.get(), CERT_KEY_PROV_INFO_PROP_ID, 0, &key),
        "linking the certificate to its key");
}

void storeAuthority(PCCERT_CONTEXT certificate) { added(UserStore::CA, certificate); }

void storeRevocationList(PCCRL_CONTEXT list) {
    const CertStore store = opened(UserStore::CA, CERT_STORE_PROV_SYSTEM_W);
    checkSystem(CertAddCRLContextToStore(store.get(), list, CERT_STORE_ADD_NEWER, nullptr) ||
                    GetLastError() == static_cast<DWORD>(CRYPT_E_EXISTS),
                "adding the revocation list to the user's store");
}

std::vector<CrlContext> storedRevocationLists() {
    const CertStore store = opened(UserStore::CA, CERT_STORE_PROV_SYSTEM_W);
    std::vector<CrlContext> lists;
    // Each step frees the context it is given.
    for (PCCRL_CONTEXT list = CertEnumCRLsInStore(store.get(), nullptr); list != nullptr;
         list = CertEnumCRLsInStore(store.get(), list))
        lists.emplace_back(CertDuplicateCRLContext(list));
    return lists;
}

void removeStored(const std::string& hash) {
    for (const UserStore which : {UserStore::My, UserStore::CA}) {
        // Wine's system store forgets a deletion when it closes; the registry's part of it, which
        // is where the certificate was added, keeps it.
        const CertStore store = opened(which, CERT_STORE_PROV_SYSTEM_REGISTRY_W);
        // Deleting frees the context it is given, found or not.
        if (CertContext found = foundIn(store.get(), hash))
            checkSystem(CertDeleteCertificateFromStore(found.release()),
                        "removing the certificate from the user's store");
    }
}

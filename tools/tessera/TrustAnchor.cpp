#include "TrustAnchor.h"

#include <cstdlib>
#include <iostream>

#include <velPKI/velPKI.h>
#include <velcom/Files.h>

#include "CertificateInfo.h"
#include "CommandFailure.h"

namespace {

constexpr char kBundleVariable[] = "VELTRANSPORT_CA_BUNDLE";

}  // namespace

velcom::ComPtr<ISMCertificate> trustAnchorOf(ISMPrivateKeyInfrastructure& pki) {
    velcom::ComPtr<IvelPKIStore> store;
    velcom::ComPtr<ISMCertificate> anchor;
    if (FAILED(pki.QueryInterface(IID_IvelPKIStore, store.putVoid())) ||
        FAILED(store->GetTrustAnchor(anchor.put())))
        throw CommandFailure(ExitCode::Failed, "the store cannot tell its trust anchor");
    return anchor;
}

AnchorBundle::AnchorBundle(ISMPrivateKeyInfrastructure& pki, const std::string& directory) {
    if (std::getenv(kBundleVariable) != nullptr) return;
    velcom::ComPtr<ISMCertificate> anchor;
    try {
        anchor = trustAnchorOf(pki);
    } catch (const CommandFailure& failure) {
        // The conversation can still go on: HTTPS then trusts the system's authorities.
        std::cerr << "tessera: " << failure.what() << "; HTTPS trusts the system's authorities\n";
        return;
    }
    if (!anchor) return;
    const std::string file = directory + "/trust-anchor.pem";
    if (!velcom::writeOwnerOnlyFile(file, {pemOf(derOf(*anchor.get()))}))
        throw CommandFailure(ExitCode::Failed, "cannot write the trust anchor to " + file);
    m_set = setenv(kBundleVariable, file.c_str(), 1) == 0;
}

AnchorBundle::~AnchorBundle() {
    if (m_set) unsetenv(kBundleVariable);
}

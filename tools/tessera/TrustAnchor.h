// The store's trust anchor: the authority's certificate the user vouched for with its fingerprint.
#pragma once

#include <string>

#include <velTesseraComm/velTesseraComm.h>

// Null when the store has none; raises CommandFailure when the store cannot tell.
velcom::ComPtr<ISMCertificate> trustAnchorOf(ISMPrivateKeyInfrastructure& pki);

// While it lives, the transport trusts the store's anchor for HTTPS: the anchor is written as PEM
// into the directory and VELTRANSPORT_CA_BUNDLE points at it. A bundle the user set wins, and
// without an anchor nothing changes.
class AnchorBundle {
public:
    AnchorBundle(ISMPrivateKeyInfrastructure& pki, const std::string& directory);
    AnchorBundle(const AnchorBundle&) = delete;
    AnchorBundle& operator=(const AnchorBundle&) = delete;
    ~AnchorBundle();

private:
    bool m_set = false;
};

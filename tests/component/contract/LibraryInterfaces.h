// The interfaces of the type library, written down by hand from the contract rather than taken
// from the generator, each with its identifier and dispatch table. A table that the generator
// failed to write does not compile here; the type library test checks that the library holds
// exactly these interfaces.
#pragma once

#include <span>

#include <velTesseraComm/DispatchTables.h>

struct LibraryInterface {
    const char16_t* name;
    const IID* iid;
    std::span<const velcom::DispatchMember> members;
    bool collection;
};

inline constexpr LibraryInterface kLibraryInterfaces[] = {
    {u"IvelTesseraProxy", &IID_IvelTesseraProxy, kIvelTesseraProxyMembers, false},
    {u"IvelTesseraProxyEx", &IID_IvelTesseraProxyEx, kIvelTesseraProxyExMembers, false},
    {u"IvelNode", &IID_IvelNode, kIvelNodeMembers, false},
    {u"IvelNodeCollection", &IID_IvelNodeCollection, kIvelNodeCollectionMembers, true},
    {u"IvelBackChannel", &IID_IvelBackChannel, kIvelBackChannelMembers, false},
    {u"IvelRand", &IID_IvelRand, kIvelRandMembers, false},
    {u"IAuthenticator", &IID_IAuthenticator, kIAuthenticatorMembers, false},
    {u"ISMPrivateKeyInfrastructure", &IID_ISMPrivateKeyInfrastructure,
     kISMPrivateKeyInfrastructureMembers, false},
    {u"ISMCertificate", &IID_ISMCertificate, kISMCertificateMembers, false},
    {u"ISMRequest", &IID_ISMRequest, kISMRequestMembers, false},
    {u"ISMAsymKey", &IID_ISMAsymKey, kISMAsymKeyMembers, false},
    {u"ISMCertificateList", &IID_ISMCertificateList, kISMCertificateListMembers, true},
    {u"ISMCRLList", &IID_ISMCRLList, kISMCRLListMembers, true},
    {u"ISMKeyList", &IID_ISMKeyList, kISMKeyListMembers, true},
    {u"ISMRevocationList", &IID_ISMRevocationList, kISMRevocationListMembers, false},
};

// The dispatch tables of the PKI class's interfaces beyond the contract's: the extended import
// and the store's management.
#pragma once

#include <velPKI/velPKI.h>
#include <velTesseraComm/DispatchTables.h>

inline constexpr velcom::DispatchMember kISMPrivateKeyInfrastructureExMembers[] = {
    velcom::member<&ISMPrivateKeyInfrastructureEx::ImportRequestedCertificate2, velcom::in(VT_BSTR),
                   velcom::in(VT_BSTR), velcom::optional(VT_BYREF | VT_BSTR),
                   velcom::retval(VT_I4)>(u"ImportRequestedCertificate2", 1, DISPATCH_METHOD),
};
inline constexpr velcom::DispatchMember kIvelPKIStoreMembers[] = {
    velcom::member<&IvelPKIStore::Open, velcom::in(VT_BSTR)>(u"Open", 1, DISPATCH_METHOD),
    velcom::member<&IvelPKIStore::SetTrustAnchor, velcom::in(VT_BSTR), velcom::in(VT_BSTR)>(
        u"SetTrustAnchor", 2, DISPATCH_METHOD),
    velcom::member<&IvelPKIStore::GetTrustAnchor, velcom::retval(VT_DISPATCH)>(u"GetTrustAnchor", 3,
                                                                               DISPATCH_METHOD),
    velcom::member<&IvelPKIStore::put_KeyType, velcom::in(VT_BSTR)>(u"KeyType", 4,
                                                                    DISPATCH_PROPERTYPUT),
    velcom::member<&IvelPKIStore::ForgetRequest, velcom::in(VT_BSTR)>(u"ForgetRequest", 5,
                                                                      DISPATCH_METHOD),
    velcom::member<&IvelPKIStore::put_RequestScope, velcom::in(VT_BSTR)>(u"RequestScope", 6,
                                                                         DISPATCH_PROPERTYPUT),
    velcom::member<&IvelPKIStore::CreateAuthenticator, velcom::in(VT_BSTR),
                   velcom::retval(VT_DISPATCH)>(u"CreateAuthenticator", 7, DISPATCH_METHOD),
};

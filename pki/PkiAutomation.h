// What the PKI class shows to automation, whichever system's cryptography it is built on: its
// three dual interfaces, and one IDispatch over all of them. A script holds only the object's
// IDispatch, so the names of the store's management and of the extended import are found there
// too, after the contract's own, under DISPIDs of ranges of their own.
#pragma once

#include "PkiDispatchTables.h"

class PkiAutomation : public velcom::DispatchImpl<ISMPrivateKeyInfrastructure>,
                      public velcom::DispatchImpl<ISMPrivateKeyInfrastructureEx>,
                      public velcom::DispatchImpl<IvelPKIStore> {
public:
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                               DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

    STDMETHODIMP CreateAuthenticator(BSTR strPassword, IAuthenticator** ppAuthenticator) override;

protected:
    PkiAutomation();
    ~PkiAutomation() = default;
};

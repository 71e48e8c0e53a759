#include "PkiAutomation.h"

#include "ErrorBoundary.h"
#include "PasswordAuthenticator.h"
#include "inproc/ModuleLock.h"
#include "text/AnsiText.h"
#include "velList.h"

namespace {

constexpr DISPID kExtendedRange = 0x10000;
constexpr DISPID kStoreRange = 0x20000;

}  // namespace

PkiAutomation::PkiAutomation()
    : DispatchImpl<ISMPrivateKeyInfrastructure>(kISMPrivateKeyInfrastructureMembers),
      DispatchImpl<ISMPrivateKeyInfrastructureEx>(kISMPrivateKeyInfrastructureExMembers),
      DispatchImpl<IvelPKIStore>(kIvelPKIStoreMembers) {
    lockModule();
}

PkiAutomation::~PkiAutomation() { unlockModule(); }

STDMETHODIMP PkiAutomation::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, IID_ISMPrivateKeyInfrastructure)) {
        *object = static_cast<ISMPrivateKeyInfrastructure*>(this);
    } else if (IsEqualIID(riid, IID_ISMPrivateKeyInfrastructureEx)) {
        *object = static_cast<ISMPrivateKeyInfrastructureEx*>(this);
    } else if (IsEqualIID(riid, IID_IvelPKIStore)) {
        *object = static_cast<IvelPKIStore*>(this);
    } else if (IsEqualIID(riid, IID_ISupportErrorInfo)) {
        *object = static_cast<ISupportErrorInfo*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) PkiAutomation::AddRef() { return ++m_lReferences; }

STDMETHODIMP_(ULONG) PkiAutomation::Release() {
    const ULONG remaining = --m_lReferences;
    if (remaining == 0) delete this;
    return remaining;
}

STDMETHODIMP PkiAutomation::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IID_ISMPrivateKeyInfrastructure) ||
                   IsEqualIID(riid, IID_ISMPrivateKeyInfrastructureEx) ||
                   IsEqualIID(riid, IID_IvelPKIStore)
               ? S_OK
               : S_FALSE;
}

STDMETHODIMP PkiAutomation::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    const std::pair<const velcom::DispatchTable*, DISPID> ranges[] = {
        {&DispatchImpl<ISMPrivateKeyInfrastructure>::dispatchTable(), 0},
        {&DispatchImpl<ISMPrivateKeyInfrastructureEx>::dispatchTable(), kExtendedRange},
        {&DispatchImpl<IvelPKIStore>::dispatchTable(), kStoreRange}};
    HRESULT found = DISP_E_UNKNOWNNAME;
    for (const auto& [table, range] : ranges) {
        found = table->getIDsOfNames(names, count, ids);
        if (found != DISP_E_UNKNOWNNAME || ids[0] != DISPID_UNKNOWN) {
            if (ids[0] != DISPID_UNKNOWN) ids[0] += range;
            return found;
        }
    }
    return found;
}

STDMETHODIMP PkiAutomation::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argumentError) {
    if (id >= kStoreRange)
        return DispatchImpl<IvelPKIStore>::dispatchTable().invoke(
            static_cast<IvelPKIStore*>(this), id - kStoreRange, riid, flags, params, result,
            exception, argumentError);
    if (id >= kExtendedRange)
        return DispatchImpl<ISMPrivateKeyInfrastructureEx>::dispatchTable().invoke(
            static_cast<ISMPrivateKeyInfrastructureEx*>(this), id - kExtendedRange, riid, flags,
            params, result, exception, argumentError);
    return DispatchImpl<ISMPrivateKeyInfrastructure>::dispatchTable().invoke(
        static_cast<ISMPrivateKeyInfrastructure*>(this), id, riid, flags, params, result, exception,
        argumentError);
}

STDMETHODIMP PkiAutomation::CreateAuthenticator(BSTR strPassword,
                                                IAuthenticator** ppAuthenticator) {
    return errorBoundary(IID_IvelPKIStore, "CreateAuthenticator", [&] {
        requireOut(ppAuthenticator);
        if (SysStringLen(strPassword) == 0) failWith(E_INVALIDARG, "no password");
        *ppAuthenticator = CvelPasswordAuthenticator::make(strPassword)->handOut();
    });
}

STDMETHODIMP PkiAutomation::CreateCertificateList(ISMCertificateList** ppCertList) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "CreateCertificateList", [&] {
        requireOut(ppCertList);
        *ppCertList = CvelCertificateList::make()->handOut();
    });
}

STDMETHODIMP PkiAutomation::Open(BSTR path) {
    return errorBoundary(IID_IvelPKIStore, "Open", [&] { openStore(toAnsi(path)); });
}

STDMETHODIMP PkiAutomation::SetTrustAnchor(BSTR strFile, BSTR strFingerprint) {
    return errorBoundary(IID_IvelPKIStore, "SetTrustAnchor",
                         [&] { setTrustAnchor(toAnsi(strFile), toAnsi(strFingerprint)); });
}

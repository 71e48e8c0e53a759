#include "PkiAutomation.h"

#include "ErrorBoundary.h"
#include "PasswordAuthenticator.h"

namespace {

constexpr DISPID kExtendedRange = 0x10000;
constexpr DISPID kStoreRange = 0x20000;

}  // namespace

PkiAutomation::PkiAutomation()
    : DispatchImpl<ISMPrivateKeyInfrastructure>(kISMPrivateKeyInfrastructureMembers),
      DispatchImpl<ISMPrivateKeyInfrastructureEx>(kISMPrivateKeyInfrastructureExMembers),
      DispatchImpl<IvelPKIStore>(kIvelPKIStoreMembers) {}

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

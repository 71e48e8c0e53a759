// Apartments are bookkeeping only: calls are never marshalled between threads, but the
// initialisation rules are kept so that code which breaks them fails here as it would on Windows.
#include <velcom/win32.h>

#include <velcom/posix/objbase.h>

#include "Apartment.h"

namespace {

// COINIT_DISABLE_OLE1DDE and COINIT_SPEED_OVER_MEMORY: hints with nothing to do here, accepted.
constexpr DWORD kHintFlags = 0x4 | 0x8;

struct ThreadApartment {
    unsigned entries = 0;
    DWORD model = COINIT_MULTITHREADED;
};

thread_local ThreadApartment t_apartment;

}  // namespace

bool velcom::detail::apartmentEntered() { return t_apartment.entries > 0; }

extern "C" HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit) {
    if (reserved != nullptr || (coInit & ~(COINIT_APARTMENTTHREADED | kHintFlags)) != 0)
        return E_INVALIDARG;
    const DWORD model = coInit & COINIT_APARTMENTTHREADED;
    if (t_apartment.entries > 0) {
        if (t_apartment.model != model) return RPC_E_CHANGED_MODE;
        ++t_apartment.entries;
        return S_FALSE;
    }
    t_apartment = {1, model};
    return S_OK;
}

extern "C" HRESULT CoInitialize(LPVOID reserved) {
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

extern "C" void CoUninitialize() {
    if (t_apartment.entries > 0) --t_apartment.entries;
}

#include <algorithm>
#include <mutex>
#include <vector>

#include <velcom/win32.h>

#include <velcom/posix/objbase.h>

#include "Apartment.h"
#include "ClassTable.h"

namespace {

constexpr DWORD kServerContexts =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

struct Registration {
    CLSID clsid;
    DWORD context;
    DWORD cookie;
    velcom::ComPtr<IUnknown> classObject;
};

class ClassTable {
public:
    DWORD add(REFCLSID clsid, DWORD context, IUnknown* classObject) {
        std::lock_guard lock(m_mutex);
        const DWORD cookie = m_nextCookie++;
        m_registrations.push_back({clsid, context, cookie, velcom::ComPtr<IUnknown>(classObject)});
        return cookie;
    }

    // The object is handed back so that its last Release, which may call into the table again,
    // happens after the lock is left.
    velcom::ComPtr<IUnknown> remove(DWORD cookie) {
        std::lock_guard lock(m_mutex);
        const auto found = std::find_if(m_registrations.begin(), m_registrations.end(),
                                        [&](const Registration& r) { return r.cookie == cookie; });
        if (found == m_registrations.end()) return nullptr;
        velcom::ComPtr<IUnknown> classObject = std::move(found->classObject);
        m_registrations.erase(found);
        return classObject;
    }

    velcom::ComPtr<IUnknown> find(REFCLSID clsid, DWORD context) const {
        std::lock_guard lock(m_mutex);
        for (const Registration& registration : m_registrations)
            if (registration.clsid == clsid && (registration.context & context) != 0)
                return registration.classObject;
        return nullptr;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Registration> m_registrations;
    // Zero is never handed out, so that a zeroed cookie variable names no registration.
    DWORD m_nextCookie = 1;
};

ClassTable& classTable() {
    static ClassTable table;
    return table;
}

}  // namespace

velcom::ComPtr<IUnknown> velcom::detail::findRegisteredClassObject(REFCLSID clsid, DWORD context) {
    return classTable().find(clsid, context);
}

extern "C" HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* classObject, DWORD context,
                                         DWORD flags, LPDWORD cookie) {
    if (cookie == nullptr) return E_INVALIDARG;
    *cookie = 0;
    if (classObject == nullptr || (context & kServerContexts) == 0 || flags > REGCLS_MULTI_SEPARATE)
        return E_INVALIDARG;
    if (!velcom::detail::apartmentEntered()) return CO_E_NOTINITIALIZED;
    // A multiple-use local server also serves its own process in-process, unless registered with
    // REGCLS_MULTI_SEPARATE.
    if (flags == REGCLS_MULTIPLEUSE && (context & CLSCTX_LOCAL_SERVER) != 0)
        context |= CLSCTX_INPROC_SERVER;
    *cookie = classTable().add(clsid, context, classObject);
    return S_OK;
}

extern "C" HRESULT CoRevokeClassObject(DWORD cookie) {
    return classTable().remove(cookie) ? S_OK : E_INVALIDARG;
}

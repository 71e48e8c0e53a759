#include "Authenticator.h"

#include "CommandFailure.h"
#include "Text.h"

velcom::ComPtr<Authenticator> Authenticator::create(Secret& keyPassword) {
    return velcom::ComPtr<Authenticator>::attach(new Authenticator(keyPassword));
}

STDMETHODIMP Authenticator::QueryInterface(REFIID riid, void** object) {
    const bool known = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
                       IsEqualIID(riid, IID_IAuthenticator);
    *object = known ? static_cast<IAuthenticator*>(this) : nullptr;
    return known ? (AddRef(), S_OK) : E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) Authenticator::Release() {
    const ULONG left = --m_references;
    if (left == 0) delete this;
    return left;
}

// No exception may cross into the component: a password that cannot be had is a refusal.
STDMETHODIMP Authenticator::GetPassword(BSTR* password) {
    if (password == nullptr) return E_INVALIDARG;
    *password = nullptr;
    try {
        *password = toBstr(m_keyPassword.get()).detach();
        return S_OK;
    } catch (const std::exception&) {
        return E_ACCESSDENIED;
    }
}

// What a private key shows to automation, whichever system keeps it: each method's checks, error
// boundary and value shape. Key opens, reseals and measures its own kind of key through the
// members this base calls (unlock, reseal, bits, rsaKey).
#pragma once

#include <velTesseraComm/DispatchTables.h>

#include "ErrorBoundary.h"
#include "PkiObject.h"
#include "text/AnsiText.h"

template <class Key>
class KeyAutomation : public PkiObject<Key, ISMAsymKey> {
    using Base = PkiObject<Key, ISMAsymKey>;

public:
    static constexpr IID kImplementationId = {
        0x5b0e3c1a, 0x2f6d, 0x4e8b, {0x9a, 0x11, 0x3c, 0x7d, 0x52, 0x90, 0x6e, 0x02}};

    STDMETHODIMP Decrypt(BSTR strPass) override {
        return errorBoundary(Base::interfaceId(), "Decrypt",
                             [&] { self().unlock(toAnsi(strPass)); });
    }
    // Puts the open key under strPass from now on.
    STDMETHODIMP Encrypt(BSTR strPass) override {
        return errorBoundary(Base::interfaceId(), "Encrypt",
                             [&] { self().reseal(toAnsi(strPass)); });
    }
    STDMETHODIMP get_Length(LONG* pVal) override {
        return errorBoundary(Base::interfaceId(), "Length", [&] {
            requireOut(pVal);
            *pVal = static_cast<LONG>(self().bits());
        });
    }
    STDMETHODIMP get_Type(KeyType* pVal) override {
        return errorBoundary(Base::interfaceId(), "Type", [&] {
            requireOut(pVal);
            if (!self().rsaKey()) failWith(E_NOTIMPL, "the key type has no name in KeyType");
            *pVal = SMRSAKey;
        });
    }

    // The component's own key behind the pointer; a failure for a foreign one.
    static velcom::ComPtr<Key> given(ISMAsymKey* key) {
        const auto own = Base::own(key);
        if (!own) failWith(E_INVALIDARG, "the key was not given by this component");
        return own;
    }

protected:
    KeyAutomation() : Base(kISMAsymKeyMembers) {}

    // A failure unless the key is open.
    static void requireOpen(bool open) {
        if (!open)
            failWith(E_ACCESSDENIED, "the key is locked: Decrypt it with its password first");
    }

private:
    Key& self() { return static_cast<Key&>(*this); }
};

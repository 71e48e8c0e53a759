// What a revocation list shows to automation, whichever system's cryptography reads it: each
// getter's checks, error boundary and value shape. List reads the fields from its own kind of
// list through the members this base calls (issuerName, entryDate …).
#pragma once

#include <string>

#include <velTesseraComm/DispatchTables.h>

#include "AutomationValues.h"
#include "Base64.h"
#include "ErrorBoundary.h"
#include "PkiObject.h"

template <class List>
class RevocationListAutomation : public PkiObject<List, ISMRevocationList> {
    using Base = PkiObject<List, ISMRevocationList>;

public:
    static constexpr IID kImplementationId = {
        0x5b0e3c1a, 0x2f6d, 0x4e8b, {0x9a, 0x11, 0x3c, 0x7d, 0x52, 0x90, 0x6e, 0x04}};

    STDMETHODIMP get_Issuer(VARIANT* pVal) override {
        return errorBoundary(Base::interfaceId(), "Issuer", [&] {
            requireOut(pVal);
            putText(pVal, self().issuerName());
        });
    }
    STDMETHODIMP IsActive(Validity* pValidity) override {
        return errorBoundary(Base::interfaceId(), "IsActive", [&] {
            requireOut(pValidity);
            *pValidity = self().validity();
        });
    }
    STDMETHODIMP get_LastUpdate(BSTR* pVal) override {
        return text("LastUpdate", pVal, [&] { return self().lastUpdateText(); });
    }
    // Empty for a list without a next update.
    STDMETHODIMP get_NextUpdate(BSTR* pVal) override {
        return text("NextUpdate", pVal, [&] { return self().nextUpdateText(); });
    }
    STDMETHODIMP AsBinaryString(LONG bBase64, VARIANT* pvarData) override {
        return errorBoundary(Base::interfaceId(), "AsBinaryString", [&] {
            requireOut(pvarData);
            const std::string der = self().derBytes();
            putBytes(pvarData, bBase64 != 0 ? toBase64(der) : der);
        });
    }
    STDMETHODIMP GetExtension(BSTR, LONG*, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetEntryExtension(LONG, BSTR, LONG*, VARIANT*) override { return E_NOTIMPL; }
    // The serial of the entry at the 0-based index, and its revocation date.
    STDMETHODIMP GetEntry(LONG lIndex, BSTR* pstrRevocationDate, BSTR* pstrSerial) override {
        return errorBoundary(Base::interfaceId(), "GetEntry", [&] {
            requireOut(pstrRevocationDate);
            requireOut(pstrSerial);
            if (lIndex < 0 || lIndex >= self().entryCount())
                failWith(E_INVALIDARG, "no entry at this index");
            *pstrRevocationDate = newText(self().entryDate(lIndex));
            *pstrSerial = newText(self().entrySerial(lIndex));
        });
    }
    STDMETHODIMP get_EntryCount(LONG* pVal) override {
        return errorBoundary(Base::interfaceId(), "EntryCount", [&] {
            requireOut(pVal);
            *pVal = self().entryCount();
        });
    }

protected:
    RevocationListAutomation() : Base(kISMRevocationListMembers) {}

private:
    const List& self() const { return static_cast<const List&>(*this); }

    template <class Read>
    HRESULT text(const char* name, BSTR* out, Read read) {
        return errorBoundary(Base::interfaceId(), name, [&] {
            requireOut(out);
            *out = newText(read());
        });
    }
};

// A certificate revocation list as a loaded file gives it.
#pragma once

#include <velTesseraComm/DispatchTables.h>

#include "CryptOwners.h"
#include "PkiObject.h"

class CvelRevocationList final : public PkiObject<CvelRevocationList, ISMRevocationList> {
public:
    static constexpr IID kImplementationId = {
        0x5b0e3c1a, 0x2f6d, 0x4e8b, {0x9a, 0x11, 0x3c, 0x7d, 0x52, 0x90, 0x6e, 0x04}};

    explicit CvelRevocationList(CrlContext list)
        : PkiObject(kISMRevocationListMembers), m_list(std::move(list)) {}

    PCCRL_CONTEXT list() const { return m_list.get(); }

    STDMETHODIMP get_Issuer(VARIANT* pVal) override;
    STDMETHODIMP IsActive(Validity* pValidity) override;
    STDMETHODIMP get_LastUpdate(BSTR* pVal) override;
    STDMETHODIMP get_NextUpdate(BSTR* pVal) override;
    STDMETHODIMP AsBinaryString(LONG bBase64, VARIANT* pvarData) override;
    STDMETHODIMP GetExtension(BSTR, LONG*, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetEntryExtension(LONG, BSTR, LONG*, VARIANT*) override { return E_NOTIMPL; }
    // The serial of the entry at the 0-based index, and its revocation date.
    STDMETHODIMP GetEntry(LONG lIndex, BSTR* pstrRevocationDate, BSTR* pstrSerial) override;
    STDMETHODIMP get_EntryCount(LONG* pVal) override;

private:
    CrlContext m_list;
};

// The list's DER.
std::string derOf(PCCRL_CONTEXT list);

// A certificate as the user's store or a loaded file gives it; ID is 0 for one the component has
// not stored.
#pragma once

#include <string>

#include <velTesseraComm/DispatchTables.h>

#include "CryptOwners.h"
#include "PkiObject.h"

class CvelCertificate final : public PkiObject<CvelCertificate, ISMCertificate> {
public:
    static constexpr IID kImplementationId = {
        0x5b0e3c1a, 0x2f6d, 0x4e8b, {0x9a, 0x11, 0x3c, 0x7d, 0x52, 0x90, 0x6e, 0x03}};

    CvelCertificate(CertContext certificate, long id);

    PCCERT_CONTEXT certificate() const { return m_certificate.get(); }
    long id() const { return m_id; }

    STDMETHODIMP get_Serial(BSTR* pVal) override;
    STDMETHODIMP get_MailAddress(BSTR* pVal) override;
    STDMETHODIMP get_Issuer(VARIANT* pVal) override;
    STDMETHODIMP get_Subject(VARIANT* pVal) override;
    STDMETHODIMP Fingerprint(DigestAlgo sAlgo, BSTR* pbstrFingerprint) override;
    STDMETHODIMP IsActive(Validity* pValidity) override;
    STDMETHODIMP get_NotBefore(BSTR* pVal) override;
    STDMETHODIMP get_NotAfter(BSTR* pVal) override;
    STDMETHODIMP get_ID(LONG* pVal) override;
    STDMETHODIMP IsCA(LONG* pbIsCA) override;
    STDMETHODIMP IsSelfSigned(LONG* pbIsSelfSigned) override;
    STDMETHODIMP get_Default(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Default(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_TrustLevel(CertTrustLevel*) override { return E_NOTIMPL; }
    STDMETHODIMP put_TrustLevel(CertTrustLevel) override { return E_NOTIMPL; }
    STDMETHODIMP get_DBState(DataBaseState* pVal) override;
    // 1: the Base64 text of the DER, else the DER; either as VT_ARRAY|VT_UI1.
    STDMETHODIMP AsBinaryString(LONG bBase64, VARIANT* pvarData) override;
    STDMETHODIMP get_Comment(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Comment(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP get_KeyLength(LONG* pVal) override;
    STDMETHODIMP get_KeyType(KeyType* pVal) override;
    STDMETHODIMP GetExtension(BSTR, LONG*, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP get_CommonName(BSTR* pVal) override;

private:
    CertContext m_certificate;
    long m_id;
};

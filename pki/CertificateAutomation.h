// What a certificate shows to automation, whichever system's cryptography reads it: each getter's
// checks, error boundary and value shape. Certificate reads the fields from its own kind of
// certificate through the members this base calls (serialNumber, digestBytes …), and has id().
#pragma once

#include <string>

#include <velTesseraComm/DispatchTables.h>

#include "AutomationValues.h"
#include "Base64.h"
#include "ErrorBoundary.h"
#include "PkiObject.h"

template <class Certificate>
class CertificateAutomation : public PkiObject<Certificate, ISMCertificate> {
    using Base = PkiObject<Certificate, ISMCertificate>;

public:
    static constexpr IID kImplementationId = {
        0x5b0e3c1a, 0x2f6d, 0x4e8b, {0x9a, 0x11, 0x3c, 0x7d, 0x52, 0x90, 0x6e, 0x03}};

    STDMETHODIMP get_Serial(BSTR* pVal) override {
        return text("Serial", pVal, [&] { return self().serialNumber(); });
    }
    STDMETHODIMP get_MailAddress(BSTR* pVal) override {
        return text("MailAddress", pVal, [&] { return self().mailAddress(); });
    }
    STDMETHODIMP get_Issuer(VARIANT* pVal) override {
        return errorBoundary(Base::interfaceId(), "Issuer", [&] {
            requireOut(pVal);
            putText(pVal, self().issuerName());
        });
    }
    STDMETHODIMP get_Subject(VARIANT* pVal) override {
        return errorBoundary(Base::interfaceId(), "Subject", [&] {
            requireOut(pVal);
            putText(pVal, self().subjectName());
        });
    }
    STDMETHODIMP Fingerprint(DigestAlgo sAlgo, BSTR* pbstrFingerprint) override {
        return errorBoundary(Base::interfaceId(), "Fingerprint", [&] {
            requireOut(pbstrFingerprint);
            if (sAlgo != SMDigestAlgoMD5 && sAlgo != SMDigestAlgoSHA1)
                failWith(E_INVALIDARG, "unknown digest algorithm");
            static constexpr char kHex[] = "0123456789ABCDEF";
            std::string hex;
            for (const char octet : self().digestBytes(sAlgo)) {
                if (!hex.empty()) hex += ':';
                hex += {kHex[static_cast<unsigned char>(octet) >> 4], kHex[octet & 0xF]};
            }
            *pbstrFingerprint = newText(hex);
        });
    }
    STDMETHODIMP IsActive(Validity* pValidity) override {
        return value("IsActive", pValidity, [&] { return self().validity(); });
    }
    STDMETHODIMP get_NotBefore(BSTR* pVal) override {
        return text("NotBefore", pVal, [&] { return self().notBeforeText(); });
    }
    STDMETHODIMP get_NotAfter(BSTR* pVal) override {
        return text("NotAfter", pVal, [&] { return self().notAfterText(); });
    }
    STDMETHODIMP get_ID(LONG* pVal) override {
        return value("ID", pVal, [&] { return static_cast<LONG>(self().id()); });
    }
    STDMETHODIMP IsCA(LONG* pbIsCA) override {
        return value("IsCA", pbIsCA, [&] { return self().authority() ? 1 : 0; });
    }
    STDMETHODIMP IsSelfSigned(LONG* pbIsSelfSigned) override {
        return value("IsSelfSigned", pbIsSelfSigned, [&] { return self().selfSigned() ? 1 : 0; });
    }
    STDMETHODIMP get_Default(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Default(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_TrustLevel(CertTrustLevel*) override { return E_NOTIMPL; }
    STDMETHODIMP put_TrustLevel(CertTrustLevel) override { return E_NOTIMPL; }
    STDMETHODIMP get_DBState(DataBaseState* pVal) override {
        return value("DBState", pVal,
                     [&] { return self().id() == 0 ? SMDBStateNew : SMDBStateAdded; });
    }
    // 1: the Base64 text of the DER, else the DER; either as VT_ARRAY|VT_UI1.
    STDMETHODIMP AsBinaryString(LONG bBase64, VARIANT* pvarData) override {
        return errorBoundary(Base::interfaceId(), "AsBinaryString", [&] {
            requireOut(pvarData);
            const std::string der = self().derBytes();
            putBytes(pvarData, bBase64 != 0 ? toBase64(der) : der);
        });
    }
    STDMETHODIMP get_Comment(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Comment(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP get_KeyLength(LONG* pVal) override {
        return value("KeyLength", pVal, [&] { return static_cast<LONG>(self().keyBits()); });
    }
    STDMETHODIMP get_KeyType(KeyType* pVal) override {
        return value("KeyType", pVal, [&] {
            if (!self().rsaKey()) failWith(E_NOTIMPL, "the key type has no name in KeyType");
            return SMRSAKey;
        });
    }
    STDMETHODIMP GetExtension(BSTR, LONG*, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP get_CommonName(BSTR* pVal) override {
        return text("CommonName", pVal, [&] { return self().commonName(); });
    }

protected:
    CertificateAutomation() : Base(kISMCertificateMembers) {}

private:
    const Certificate& self() const { return static_cast<const Certificate&>(*this); }

    template <class Out, class Read>
    HRESULT value(const char* name, Out* out, Read read) {
        return errorBoundary(Base::interfaceId(), name, [&] {
            requireOut(out);
            *out = static_cast<Out>(read());
        });
    }
    template <class Read>
    HRESULT text(const char* name, BSTR* out, Read read) {
        return errorBoundary(Base::interfaceId(), name, [&] {
            requireOut(out);
            *out = newText(read());
        });
    }
};

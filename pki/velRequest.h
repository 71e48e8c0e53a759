// A key request made by CreateRequest: the SPKAC's Base64 text with the new key's public half and
// its private half encrypted, which AddRequest keeps in the store.
#pragma once

#include <string>

#include <velTesseraComm/DispatchTables.h>

#include "PkiObject.h"

class CvelRequest final : public PkiObject<CvelRequest, ISMRequest> {
public:
    static constexpr IID kImplementationId = {
        0x5b0e3c1a, 0x2f6d, 0x4e8b, {0x9a, 0x11, 0x3c, 0x7d, 0x52, 0x90, 0x6e, 0x01}};

    CvelRequest(std::string spkac, std::string publicKey, std::string privateKey)
        : PkiObject(kISMRequestMembers),
          m_strSpkac(std::move(spkac)),
          m_strPublicKey(std::move(publicKey)),
          m_strPrivateKey(std::move(privateKey)) {}

    const std::string& spkac() const { return m_strSpkac; }
    const std::string& publicKey() const { return m_strPublicKey; }
    const std::string& privateKey() const { return m_strPrivateKey; }

    STDMETHODIMP get_Type(RequestType* pVal) override;
    // 1: the Base64 text, else the DER; either as VT_ARRAY|VT_UI1.
    STDMETHODIMP AsBinaryString(LONG bBase64, VARIANT* pvarData) override;

private:
    std::string m_strSpkac;
    std::string m_strPublicKey;
    std::string m_strPrivateKey;
};

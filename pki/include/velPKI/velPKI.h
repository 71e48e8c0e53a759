// The PKI component's own public face: its class, its ProgID and the interface that manages the
// store it works on. The key, request and certificate interfaces it implements are those of
// <velTesseraComm/velTesseraComm.h>.
#pragma once

#include <velTesseraComm/velTesseraComm.h>

inline constexpr CLSID CLSID_velPKI = {
    0x6f6185fb, 0xb6bb, 0x4c07, {0x8e, 0x89, 0xa0, 0x13, 0x8e, 0xad, 0x6d, 0x34}};
inline constexpr char kVelPkiProgId[] = "velTesseraComm2.velPKI";

// The failures by which the store refuses what its trust anchor does not vouch for; each comes
// with an error object whose description gives the reason. The values are Windows' own.
inline constexpr HRESULT VELPKI_E_UNTRUSTED = static_cast<HRESULT>(0x800B010A);  // CERT_E_CHAINING
inline constexpr HRESULT VELPKI_E_BAD_SIGNATURE =
    static_cast<HRESULT>(0x80090006);                                          // NTE_BAD_SIGNATURE
inline constexpr HRESULT VELPKI_E_EXPIRED = static_cast<HRESULT>(0x800B0101);  // CERT_E_EXPIRED
inline constexpr HRESULT VELPKI_E_FINGERPRINT =
    static_cast<HRESULT>(0x800B0109);  // CERT_E_UNTRUSTEDROOT

// The store's management beside the automation contract. Without a call to Open the component
// uses $XDG_DATA_HOME/velpki/store.db, or ~/.local/share/velpki/store.db.
inline constexpr IID IID_IvelPKIStore = {
    0x8dd4b44e, 0xc74a, 0x4cc8, {0xb9, 0xb9, 0xb3, 0xea, 0xd8, 0x39, 0xdc, 0xfc}};
struct IvelPKIStore : public IDispatch {
    // Opens the SQLite store at path (created when missing) in place of the one in use.
    STDMETHOD(Open)(BSTR path) = 0;
    // Makes the certificate of the file (PEM or DER) the store's trust anchor, replacing any
    // other, only when its SHA-256 fingerprint is the one given: "SHA256:" (optional) and 64
    // hexadecimal digits, in any case, colons between them allowed. VELPKI_E_FINGERPRINT when it
    // differs (the description names the file's fingerprint), E_INVALIDARG for a file without a
    // certificate or a fingerprint that is not one. From then on:
    // - ImportRequestedCertificate(2) and Import refuse (VELPKI_E_UNTRUSTED) a certificate
    //   that does not chain to the anchor, with the store unchanged;
    // - Import refuses a revocation list whose signature the anchor's key does not verify
    //   (VELPKI_E_BAD_SIGNATURE) or whose nextUpdate has passed (VELPKI_E_EXPIRED).
    STDMETHOD(SetTrustAnchor)(BSTR strFile, BSTR strFingerprint) = 0;
    // The anchor (its ID is 0), or null and S_FALSE when the store has none.
    STDMETHOD(GetTrustAnchor)(ISMCertificate** ppAnchor) = 0;
    // The key of requests made from now on by this object: "rsa2048" (the default), "rsa3072",
    // "rsa4096", "ec-p256" or "ec-p384"; E_INVALIDARG for any other. A "keytype" attribute
    // given to CreateRequest still wins.
    STDMETHOD(put_KeyType)(BSTR strKeyType) = 0;
    // Removes the open request of that reference with its key; E_INVALIDARG when none is open.
    STDMETHOD(ForgetRequest)(BSTR strReference) = 0;
    // While not empty, GetOpenRequests answers this reference alone (or none when it is not
    // open), so that a pick-up is for that request; an empty text ends the restriction.
    STDMETHOD(put_RequestScope)(BSTR strReference) = 0;
    // An IAuthenticator that gives strPassword, for hosts that cannot implement one (scripts):
    // the proxy's renewal asks it for the old key's password.
    STDMETHOD(CreateAuthenticator)(BSTR strPassword, IAuthenticator** ppAuthenticator) = 0;
};
VELCOM_INTERFACE_ID(IvelPKIStore, IID_IvelPKIStore);

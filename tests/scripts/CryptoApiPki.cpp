#include "CryptoApiPki.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include <velTesseraComm/DispatchTables.h>

#include "Spkac.h"
#include "support/RecordingPki.h"

namespace {

constexpr LONG kCertificateId = 1;

// A double that scripts call by name, through the contract's dispatch table.
template <class Interface>
class ScriptableDouble : public CountedDouble<Interface> {
public:
    explicit ScriptableDouble(std::span<const velcom::DispatchMember> members) : m_table(members) {}

    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return m_table.getIDsOfNames(names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override {
        return m_table.invoke(static_cast<Interface*>(this), id, riid, flags, params, result,
                              exception, argumentError);
    }

private:
    velcom::DispatchTable m_table;
};

class SpkacRequest final : public BinaryTextDouble<ISMRequest> {
public:
    explicit SpkacRequest(SignedKeyRequest signedRequest)
        : BinaryTextDouble(signedRequest.spkacBase64), publicKey(signedRequest.publicKey) {}
    VEL_NOT_IMPLEMENTED(get_Type, RequestType*)

    std::string publicKey;
};

class IssuedCertificate final : public ScriptableDouble<ISMCertificate> {
public:
    explicit IssuedCertificate(std::string serial)
        : ScriptableDouble(kISMCertificateMembers), m_serial(std::move(serial)) {}

    STDMETHODIMP get_Serial(BSTR* value) override {
        return *value = toBstr(m_serial).detach(), S_OK;
    }
    VEL_FOR_EACH(VEL_NOT_IMPLEMENTED, (get_MailAddress, BSTR*), (get_Issuer, VARIANT*),
                 (get_Subject, VARIANT*), (Fingerprint, DigestAlgo, BSTR*), (IsActive, Validity*),
                 (get_NotBefore, BSTR*), (get_NotAfter, BSTR*), (get_ID, LONG*), (IsCA, LONG*),
                 (IsSelfSigned, LONG*), (get_Default, LONG*), (put_Default, LONG),
                 (get_TrustLevel, CertTrustLevel*), (put_TrustLevel, CertTrustLevel),
                 (get_DBState, DataBaseState*), (AsBinaryString, LONG, VARIANT*),
                 (get_Comment, BSTR*), (put_Comment, BSTR), (get_KeyLength, LONG*),
                 (get_KeyType, KeyType*), (GetExtension, BSTR, LONG*, VARIANT*),
                 (get_CommonName, BSTR*))

private:
    std::string m_serial;
};

// What a failing call of a double returns: the code and its description as the error object.
template <class Work>
HRESULT guarded(Work work) {
    try {
        failWithDescription(S_OK, IID_ISMPrivateKeyInfrastructure, {});
        return work();
    } catch (const std::exception& error) {
        return failWithDescription(E_FAIL, IID_ISMPrivateKeyInfrastructure, error.what());
    }
}

class CryptoApiPki final : public ScriptableDouble<ISMPrivateKeyInfrastructure> {
public:
    CryptoApiPki() : ScriptableDouble(kISMPrivateKeyInfrastructureMembers) {}

    STDMETHODIMP CreateRequest(RequestType, BSTR, VARIANT attributes,
                               ISMRequest** created) override {
        *created = nullptr;
        return guarded([&] {
            std::string challenge;
            for (const std::string& attribute : readListArgument(attributes).items)
                if (attribute.starts_with("challenge=")) challenge = attribute.substr(10);
            m_request =
                velcom::ComPtr<SpkacRequest>(new SpkacRequest(makeSignedKeyRequest(challenge)));
            return m_request->QueryInterface(IID_ISMRequest, reinterpret_cast<void**>(created));
        });
    }
    STDMETHODIMP AddRequest(ISMRequest* request, BSTR reference) override {
        if (request != static_cast<ISMRequest*>(m_request.get()))
            return failWithDescription(E_INVALIDARG, IID_ISMPrivateKeyInfrastructure,
                                       "not the request this component made");
        m_reference = toAnsi(reference);
        return S_OK;
    }
    STDMETHODIMP GetOpenRequests(VARIANT* references) override {
        const bool open = !m_reference.empty() && m_serial.empty();
        *references = (open ? makeStringList({m_reference}) : velcom::Variant()).detach();
        return S_OK;
    }
    STDMETHODIMP ImportRequestedCertificate(BSTR file, BSTR reference, LONG* certId) override {
        return guarded([&] {
            if (toAnsi(reference) != m_reference || !m_request)
                throw std::runtime_error("no request is open under " + toAnsi(reference));
            std::ifstream read(toAnsi(file), std::ios::binary);
            m_serial = serialOfCertificateFor(std::string(std::istreambuf_iterator(read), {}),
                                              m_request->publicKey);
            if (m_serial.empty())
                throw std::runtime_error("no certificate in the file is for the request's key");
            *certId = kCertificateId;
            return S_OK;
        });
    }
    STDMETHODIMP GetCertificate(LONG id, ISMCertificate** certificate) override {
        *certificate = nullptr;
        if (id != kCertificateId || m_serial.empty())
            return failWithDescription(E_INVALIDARG, IID_ISMPrivateKeyInfrastructure,
                                       "no certificate " + std::to_string(id));
        const velcom::ComPtr<IssuedCertificate> issued(new IssuedCertificate(m_serial));
        return issued->QueryInterface(IID_ISMCertificate, reinterpret_cast<void**>(certificate));
    }

    VEL_FOR_EACH(VEL_NOT_IMPLEMENTED, (FindKey, LONG, ISMAsymKey**),
                 (Import, ISMCertificateList*, ISMCRLList*),
                 (Load, BSTR, ISMCertificateList**, ISMCRLList**),
                 (Export2, BSTR, FileFormat, FileEncoding, VARIANT), (Revoke, ISMCertificate*),
                 (ExportKey, BSTR, BSTR, FileFormat, FileEncoding, ISMAsymKey*),
                 (Verify2, LONG, LONG, CertStatus*), (Verify, ISMCertificate*, LONG, CertStatus*),
                 (ImportKey, LONG, ISMAsymKey*),
                 (ExportPKCS12, BSTR, BSTR, ISMCertificate*, ISMAsymKey*, LONG),
                 (LoadPKCS12, BSTR, BSTR, ISMCertificateList**, ISMKeyList**),
                 (Export, BSTR, FileFormat, FileEncoding, ISMCertificateList*),
                 (Find, CertType*, CertStatus*, BSTR*, LONG*, BSTR*, VARIANT*, BSTR*,
                  ISMCertificateList**),
                 (GetIssuer, ISMCertificate*, LONG, ISMCertificateList**),
                 (HasValidCertifiedKey, BSTR, ISMCertificateList**, LONG*),
                 (FindValidCerts, VARIANT, VARIANT*, VARIANT*, ISMCertificateList**),
                 (AdjustDefaults, ISMCertificateList*),
                 (CreateCertificateList, ISMCertificateList**), (Delete, ISMCertificate*),
                 (Delete2, LONG))

private:
    velcom::ComPtr<SpkacRequest> m_request;
    std::string m_reference;
    std::string m_serial;
};

}  // namespace

HRESULT createCryptoApiPki(IUnknown* outer, REFIID riid, void** object) {
    *object = nullptr;
    return outer != nullptr ? CLASS_E_NOAGGREGATION
                            : make<CryptoApiPki>()->QueryInterface(riid, object);
}

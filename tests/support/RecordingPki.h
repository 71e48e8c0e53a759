// A recording stand-in for the host's PKI component, the objects it hands out or takes and the
// host's password source; references() shows that the component gives back what it takes.
#pragma once

#include <fstream>
#include <functional>
#include <iterator>
#include <optional>

#include <velTesseraComm/velTesseraComm.h>

#include "support/CallSide.h"
#include "support/DispatchStub.h"

inline constexpr char kNullArgument[] = "<null>";

inline std::optional<std::string> contentOf(const std::string& file) {
    std::ifstream read(file, std::ios::binary);
    return read ? std::optional(std::string(std::istreambuf_iterator(read), {})) : std::nullopt;
}

// AsBinaryString: a real component answers VT_ARRAY|VT_UI1; VT_BSTR plays a broken one.
template <class Interface>
class BinaryTextDouble : public CountedDouble<Interface> {
public:
    std::string base64;
    VARTYPE binaryType = VT_ARRAY | VT_UI1;

    STDMETHODIMP AsBinaryString(LONG base64Flag, VARIANT* data) override {
        const CallSide side(Side::host);
        VariantInit(data);
        if (const HRESULT result = this->enter("AsBinaryString"); result != S_OK) return result;
        if (base64Flag != 1)
            return failWithDescription(E_INVALIDARG, velcom::uuidOf<Interface>(), "not Base64");
        *data = (binaryType == VT_BSTR ? makeText(base64) : makeByteArray(base64)).detach();
        return S_OK;
    }

protected:
    explicit BinaryTextDouble(std::string text) : base64(std::move(text)) {}
};

class TestRequest : public BinaryTextDouble<ISMRequest> {
public:
    TestRequest() : BinaryTextDouble("MIIBREQ==") {}
    VEL_NOT_IMPLEMENTED(get_Type, RequestType*)
};

class TestKey final : public CountedDouble<ISMAsymKey> {
public:
    std::vector<std::string> decryptPasswords;  // failed ones included

    STDMETHODIMP Decrypt(BSTR password) override {
        const CallSide side(Side::host);
        decryptPasswords.push_back(toAnsi(password));
        return enter("Decrypt");
    }
    VEL_FOR_EACH(VEL_NOT_IMPLEMENTED, (Encrypt, BSTR), (get_Length, LONG*), (get_Type, KeyType*))
};

class TestCertificate : public BinaryTextDouble<ISMCertificate> {
public:
    TestCertificate() : BinaryTextDouble("MIIOLD") {}

    std::optional<std::string> serial = "000A3F";  // nullopt: a null BSTR

    STDMETHODIMP get_Serial(BSTR* value) override {
        const CallSide side(Side::host);
        *value = serial ? toBstr(*serial).detach() : nullptr;
        return S_OK;
    }
    STDMETHODIMP get_ID(LONG* value) override {
        const CallSide side(Side::host);
        const HRESULT result = enter("ID");
        return result != S_OK ? result : (*value = 7, S_OK);
    }
    VEL_FOR_EACH(VEL_NOT_IMPLEMENTED, (get_MailAddress, BSTR*), (get_Issuer, VARIANT*),
                 (get_Subject, VARIANT*), (Fingerprint, DigestAlgo, BSTR*), (IsActive, Validity*),
                 (get_NotBefore, BSTR*), (get_NotAfter, BSTR*), (IsCA, LONG*),
                 (IsSelfSigned, LONG*), (get_Default, LONG*), (put_Default, LONG),
                 (get_TrustLevel, CertTrustLevel*), (put_TrustLevel, CertTrustLevel),
                 (get_DBState, DataBaseState*), (get_Comment, BSTR*), (put_Comment, BSTR),
                 (get_KeyLength, LONG*), (get_KeyType, KeyType*),
                 (GetExtension, BSTR, LONG*, VARIANT*), (get_CommonName, BSTR*))
};

// Load's lists, which the component only hands on to Import.
template <class Interface, class Item>
class TestList final : public CountedDouble<Interface> {
public:
    VEL_FOR_EACH(VEL_NOT_IMPLEMENTED, (get_Count, LONG*), (Add, Item*), (Remove, LONG),
                 (get__NewEnum, IUnknown**), (get_Item, LONG, Item**))
};
using TestCertificateList = TestList<ISMCertificateList, ISMCertificate>;
using TestCrlList = TestList<ISMCRLList, ISMRevocationList>;

class TestAuthenticator final : public CountedDouble<IAuthenticator> {
public:
    STDMETHODIMP GetPassword(BSTR* result) override {
        const CallSide side(Side::host);
        const HRESULT scripted = enter("GetPassword");
        *result = scripted == S_OK ? toBstr("old secret").detach() : nullptr;
        return scripted;
    }
};

// For a method that reads a file, the bytes it held at the call. A list argument (a zero-based
// vector of VT_BSTR or VT_I4) adds one argument per element, another form "<vartype N>".
struct PkiCall {
    std::string method;
    std::vector<std::string> arguments;
    std::optional<std::string> fileContent;
};

// A failing call is recorded, then returns its code with its out pointers null.
class RecordingPki : public CountedDouble<ISMPrivateKeyInfrastructure>,
                     public DispatchStub<ISMPrivateKeyInfrastructureEx> {
public:
    bool extended = true;  // whether it answers a query for ISMPrivateKeyInfrastructureEx
    velcom::ComPtr<TestRequest> request = make<TestRequest>();
    velcom::ComPtr<TestKey> key = make<TestKey>();
    bool keyFound = true;
    velcom::ComPtr<TestCertificateList> loadedCertificates = make<TestCertificateList>();
    velcom::ComPtr<TestCrlList> loadedRevocationLists = make<TestCrlList>();
    velcom::Variant openRequests;

    const std::vector<PkiCall>& calls() const { return m_calls; }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!IsEqualIID(riid, IID_ISMPrivateKeyInfrastructureEx) || !extended)
            return CountedDouble::QueryInterface(riid, object);
        *object = static_cast<ISMPrivateKeyInfrastructureEx*>(this);
        return AddRef(), S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return CountedDouble::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return CountedDouble::Release(); }
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override {
        return IsEqualIID(riid, IID_ISMPrivateKeyInfrastructureEx)
                   ? S_OK
                   : CountedDouble::InterfaceSupportsErrorInfo(riid);
    }

    STDMETHODIMP FindKey(LONG certId, ISMAsymKey** found) override {
        const CallSide side(Side::host);
        *found = nullptr;
        return record("FindKey", {text(certId)},
                      [&] { return give(keyFound ? key.get() : nullptr, found); });
    }
    STDMETHODIMP Import(ISMCertificateList* certificates, ISMCRLList* revocationLists) override {
        const CallSide side(Side::host);
        return record("Import", {text(certificates), text(revocationLists)});
    }
    STDMETHODIMP Load(BSTR file, ISMCertificateList** certificates,
                      ISMCRLList** revocationLists) override {
        const CallSide side(Side::host);
        *certificates = nullptr;
        *revocationLists = nullptr;
        return record(
            "Load", {text(file)},
            [&] {
                return give(loadedCertificates.get(), certificates) |
                       give(loadedRevocationLists.get(), revocationLists);
            },
            file);
    }
    STDMETHODIMP Export2(BSTR file, FileFormat format, FileEncoding encoding,
                         VARIANT ids) override {
        const CallSide side(Side::host);
        return record("Export2", withList({text(file), text(format), text(encoding)}, ids, VT_I4));
    }
    STDMETHODIMP CreateRequest(RequestType type, BSTR password, VARIANT attributes,
                               ISMRequest** created) override {
        const CallSide side(Side::host);
        *created = nullptr;
        return record("CreateRequest", withList({text(type), text(password)}, attributes, VT_BSTR),
                      [&] { return give(request.get(), created); });
    }
    STDMETHODIMP AddRequest(ISMRequest* keyRequest, BSTR reference) override {
        const CallSide side(Side::host);
        return record("AddRequest", {text(keyRequest), text(reference)});
    }
    STDMETHODIMP GetOpenRequests(VARIANT* references) override {
        const CallSide side(Side::host);
        VariantInit(references);
        return record("GetOpenRequests", {},
                      [&] { return VariantCopy(references, openRequests.get()); });
    }
    STDMETHODIMP ImportRequestedCertificate(BSTR file, BSTR reference, LONG* certId) override {
        const CallSide side(Side::host);
        return record(
            "ImportRequestedCertificate", {text(file), text(reference)},
            [&] { return *certId = 42, S_OK; }, file);
    }
    STDMETHODIMP ImportRequestedCertificate2(BSTR file, BSTR reference, BSTR* password,
                                             LONG* certId) override {
        const CallSide side(Side::host);
        return record(
            "ImportRequestedCertificate2",
            {text(file), text(reference), password ? text(*password) : kNullArgument},
            [&] { return *certId = 42, S_OK; }, file);
    }
    STDMETHODIMP Revoke(ISMCertificate* certificate) override {
        const CallSide side(Side::host);
        return record("Revoke", {text(certificate)});
    }
    STDMETHODIMP ExportKey(BSTR file, BSTR password, FileFormat format, FileEncoding encoding,
                           ISMAsymKey* privateKey) override {
        const CallSide side(Side::host);
        return record("ExportKey",
                      {text(file), text(password), text(format), text(encoding), text(privateKey)});
    }

    VEL_FOR_EACH(VEL_NOT_IMPLEMENTED, (Verify2, LONG, LONG, CertStatus*),
                 (Verify, ISMCertificate*, LONG, CertStatus*), (ImportKey, LONG, ISMAsymKey*),
                 (ExportPKCS12, BSTR, BSTR, ISMCertificate*, ISMAsymKey*, LONG),
                 (LoadPKCS12, BSTR, BSTR, ISMCertificateList**, ISMKeyList**),
                 (Export, BSTR, FileFormat, FileEncoding, ISMCertificateList*),
                 (Find, CertType*, CertStatus*, BSTR*, LONG*, BSTR*, VARIANT*, BSTR*,
                  ISMCertificateList**),
                 (GetCertificate, LONG, ISMCertificate**),
                 (GetIssuer, ISMCertificate*, LONG, ISMCertificateList**),
                 (HasValidCertifiedKey, BSTR, ISMCertificateList**, LONG*),
                 (FindValidCerts, VARIANT, VARIANT*, VARIANT*, ISMCertificateList**),
                 (AdjustDefaults, ISMCertificateList*),
                 (CreateCertificateList, ISMCertificateList**), (Delete, ISMCertificate*),
                 (Delete2, LONG))

private:
    HRESULT record(const char* method, std::vector<std::string> arguments,
                   const std::function<HRESULT()>& work = {}, BSTR file = nullptr) {
        m_calls.push_back(
            {method, std::move(arguments), file ? contentOf(toAnsi(file)) : std::nullopt});
        const HRESULT result =
            MethodScript::enter(method, std::string_view(method) == "ImportRequestedCertificate2"
                                            ? IID_ISMPrivateKeyInfrastructureEx
                                            : IID_ISMPrivateKeyInfrastructure);
        return result != S_OK || !work ? result : work();
    }
    static std::string text(BSTR value) { return toAnsi(value); }
    static std::string text(LONG value) { return std::to_string(value); }
    // An object as the test knows it: a request by its text, a certificate by its serial.
    static std::string text(IUnknown* object) {
        if (object == nullptr) return kNullArgument;
        if (auto* known = dynamic_cast<TestRequest*>(object)) return known->base64;
        if (auto* known = dynamic_cast<TestCertificate*>(object))
            return known->serial.value_or(kNullArgument);
        if (dynamic_cast<TestKey*>(object)) return "key";
        if (dynamic_cast<TestCertificateList*>(object)) return "certificates";
        if (dynamic_cast<TestCrlList*>(object)) return "revocation lists";
        return "<foreign>";
    }
    static std::vector<std::string> withList(std::vector<std::string> arguments,
                                             const VARIANT& value, VARTYPE element) {
        ListArgument list = readListArgument(value);
        if (!list.isList(element)) list.items = {"<vartype " + std::to_string(list.type) + ">"};
        arguments.insert(arguments.end(), list.items.begin(), list.items.end());
        return arguments;
    }
    template <class Object, class Interface>
    static HRESULT give(Object* object, Interface** result) {
        if ((*result = object) != nullptr) object->AddRef();
        return S_OK;
    }

    std::vector<PkiCall> m_calls;
};

// A recording stand-in for the host's PKI component, the objects it hands out or takes (key
// requests, keys, certificates, the lists that Load gives) and the host's password source. Every
// double lives on the heap and is reference counted; tests hold them in velcom::ComPtr and check
// references() to see that the component gives back what it takes.
#pragma once

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <velTesseraComm/velTesseraComm.h>

#include "support/DispatchStub.h"

// How a PKI call records a null pointer argument, and an interface that is not one of these
// doubles.
inline constexpr char kNullArgument[] = "<null>";
inline constexpr char kForeignArgument[] = "<foreign>";

// AsBinaryString of requests and certificates: the text as VT_ARRAY|VT_UI1 as a real component
// gives it, or as VT_BSTR or VT_EMPTY to play a broken one; any flag but 1 (Base64) is refused.
inline HRESULT binaryString(LONG base64Flag, const std::string& text, VARTYPE type, REFIID iid,
                            VARIANT* data) {
    VariantInit(data);
    if (base64Flag != 1)
        return failWithDescription(E_INVALIDARG, iid, "only the Base64 form (1) is scripted");
    velcom::Variant value = type == (VT_ARRAY | VT_UI1) ? makeByteArray(text) : velcom::Variant();
    if (type == VT_BSTR) {
        value.put()->vt = VT_BSTR;
        value.get()->bstrVal = toBstr(text).detach();
    }
    *data = value.detach();
    return S_OK;
}

// A key request, as CreateRequest hands it out. Scriptable: "AsBinaryString".
class TestRequest final : public CountedDouble<ISMRequest> {
public:
    static velcom::ComPtr<TestRequest> create(std::string base64 = "MIIBSPKACREQUEST") {
        return velcom::ComPtr<TestRequest>(new TestRequest(std::move(base64)));
    }

    std::string base64;  // what AsBinaryString(1) answers, and in which VARIANT type
    VARTYPE binaryType = VT_ARRAY | VT_UI1;

    VEL_NOT_IMPLEMENTED(get_Type, RequestType*)
    STDMETHODIMP AsBinaryString(LONG base64Flag, VARIANT* data) override {
        if (const HRESULT result = enter("AsBinaryString"); result != S_OK) return result;
        return binaryString(base64Flag, base64, binaryType, IID_ISMRequest, data);
    }

private:
    explicit TestRequest(std::string text)
        : CountedDouble({"AsBinaryString"}), base64(std::move(text)) {}
};

// A private key, as FindKey hands it out. Scriptable: "Decrypt".
class TestKey final : public CountedDouble<ISMAsymKey> {
public:
    static velcom::ComPtr<TestKey> create() { return velcom::ComPtr<TestKey>(new TestKey()); }

    std::string label = "key";                  // how PKI calls record this key
    std::vector<std::string> decryptPasswords;  // of every Decrypt, failed ones included

    STDMETHODIMP Decrypt(BSTR password) override {
        decryptPasswords.push_back(toAnsi(password));
        return enter("Decrypt");
    }
    VEL_FOR_EACH(VEL_NOT_IMPLEMENTED, (Encrypt, BSTR), (get_Length, LONG*), (get_Type, KeyType*))

private:
    TestKey() : CountedDouble({"Decrypt"}) {}
};

// A certificate as a host hands it to the component. Scriptable: "Serial", "ID", "AsBinaryString".
// PKI calls record it by its serial.
class TestCertificate final : public CountedDouble<ISMCertificate> {
public:
    static velcom::ComPtr<TestCertificate> create(std::optional<std::string> serial = "0A3F",
                                                  LONG id = 7,
                                                  std::string base64 = "MIIBCERTIFICATE") {
        return velcom::ComPtr<TestCertificate>(new TestCertificate(serial, id, base64));
    }

    std::optional<std::string> serial;  // nullopt: Serial answers a null BSTR
    LONG id;
    std::string base64;  // as TestRequest
    VARTYPE binaryType = VT_ARRAY | VT_UI1;

    STDMETHODIMP get_Serial(BSTR* value) override {
        *value = nullptr;
        if (const HRESULT result = enter("Serial"); result != S_OK) return result;
        if (serial) *value = toBstr(*serial).detach();
        return S_OK;
    }
    STDMETHODIMP get_ID(LONG* value) override {
        if (const HRESULT result = enter("ID"); result != S_OK) return result;
        *value = id;
        return S_OK;
    }
    STDMETHODIMP AsBinaryString(LONG base64Flag, VARIANT* data) override {
        if (const HRESULT result = enter("AsBinaryString"); result != S_OK) return result;
        return binaryString(base64Flag, base64, binaryType, IID_ISMCertificate, data);
    }
    VEL_FOR_EACH(VEL_NOT_IMPLEMENTED, (get_MailAddress, BSTR*), (get_Issuer, VARIANT*),
                 (get_Subject, VARIANT*), (Fingerprint, DigestAlgo, BSTR*), (IsActive, Validity*),
                 (get_NotBefore, BSTR*), (get_NotAfter, BSTR*), (IsCA, LONG*),
                 (IsSelfSigned, LONG*), (get_Default, LONG*), (put_Default, LONG),
                 (get_TrustLevel, CertTrustLevel*), (put_TrustLevel, CertTrustLevel),
                 (get_DBState, DataBaseState*), (get_Comment, BSTR*), (put_Comment, BSTR),
                 (get_KeyLength, LONG*), (get_KeyType, KeyType*),
                 (GetExtension, BSTR, LONG*, VARIANT*), (get_CommonName, BSTR*))

private:
    TestCertificate(std::optional<std::string> serialText, LONG identifier, std::string text)
        : CountedDouble({"Serial", "ID", "AsBinaryString"}),
          serial(std::move(serialText)),
          id(identifier),
          base64(std::move(text)) {}
};

// A list that Load gives, which the component only hands on to Import.
template <class Interface, class Item>
class TestList final : public CountedDouble<Interface> {
public:
    static velcom::ComPtr<TestList> create(std::string label) {
        return velcom::ComPtr<TestList>(new TestList(std::move(label)));
    }

    std::string label;  // how Import records this list

    VEL_FOR_EACH(VEL_NOT_IMPLEMENTED, (get_Count, LONG*), (Add, Item*), (Remove, LONG),
                 (get__NewEnum, IUnknown**), (get_Item, LONG, Item**))

private:
    explicit TestList(std::string text) : CountedDouble<Interface>({}), label(std::move(text)) {}
};
using TestCertificateList = TestList<ISMCertificateList, ISMCertificate>;
using TestCrlList = TestList<ISMCRLList, ISMRevocationList>;

// The host's password source for key passwords. Scriptable: "GetPassword".
class TestAuthenticator final : public CountedDouble<IAuthenticator> {
public:
    static velcom::ComPtr<TestAuthenticator> create(std::optional<std::string> password) {
        return velcom::ComPtr<TestAuthenticator>(new TestAuthenticator(std::move(password)));
    }

    std::optional<std::string> password;  // what GetPassword answers; nullopt: a null BSTR

    STDMETHODIMP GetPassword(BSTR* result) override {
        *result = nullptr;
        if (const HRESULT scripted = enter("GetPassword"); scripted != S_OK) return scripted;
        if (password) *result = toBstr(*password).detach();
        return S_OK;
    }

private:
    explicit TestAuthenticator(std::optional<std::string> text)
        : CountedDouble({"GetPassword"}), password(std::move(text)) {}
};

// One call on the PKI component. Arguments are texts in declaration order: numbers and
// enumerations in decimal, strings as UTF-8 (a null BSTR as empty), null pointers as
// kNullArgument, doubles by their label (requests by base64, certificates by serial) and other
// objects as kForeignArgument. A list argument adds one argument per element when it has the form
// the component is to pass (a vector of VT_BSTR for CreateRequest's attributes, of VT_I4 for
// Export2's identifiers), else the single text "<vartype 0xNNNN>" with its type.
struct PkiCall {
    std::string method;
    std::vector<std::string> arguments;
    // For both imports and Load: the bytes of the named file at the time of the call, if any.
    std::optional<std::string> fileContent;
};

// Scriptable (see MethodScript::fail): "CreateRequest", "AddRequest", "GetOpenRequests",
// "ImportRequestedCertificate", "ImportRequestedCertificate2", "Revoke", "FindKey", "Export2",
// "ExportKey", "Load", "Import". A failing call is recorded, then returns its code with its out
// pointers null.
class RecordingPki final : public DispatchStub<ISMPrivateKeyInfrastructure>,
                           public DispatchStub<ISMPrivateKeyInfrastructureEx>,
                           public ISupportErrorInfo,
                           public MethodScript {
public:
    // Whether the component answers a query for ISMPrivateKeyInfrastructureEx.
    enum class Extended { Offered, Missing };

    static velcom::ComPtr<RecordingPki> create(Extended extended) {
        return velcom::ComPtr<RecordingPki>(new RecordingPki(extended));
    }

    // Every call, in order, failed ones included; the methods the component is not expected to
    // call are recorded too (without arguments) and answer E_NOTIMPL.
    const std::vector<PkiCall>& calls() const { return m_calls; }

    // What the calls hand out: CreateRequest `request` (the same object every time), FindKey
    // `key` (none unless keyFound), Load the two lists, GetOpenRequests a copy of openRequests,
    // both imports certificateId.
    velcom::ComPtr<TestRequest> request = TestRequest::create();
    velcom::ComPtr<TestKey> key = TestKey::create();
    bool keyFound = true;
    velcom::ComPtr<TestCertificateList> loadedCertificates =
        TestCertificateList::create("certificates");
    velcom::ComPtr<TestCrlList> loadedRevocationLists = TestCrlList::create("revocation lists");
    velcom::Variant openRequests;
    void setOpenRequests(const std::vector<std::string>& references) {
        openRequests = makeStringList(references);
    }
    LONG certificateId = 1;

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        *object = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, IID_ISMPrivateKeyInfrastructure))
            *object = static_cast<ISMPrivateKeyInfrastructure*>(this);
        else if (IsEqualIID(riid, IID_ISMPrivateKeyInfrastructureEx) &&
                 m_extended == Extended::Offered)
            *object = static_cast<ISMPrivateKeyInfrastructureEx*>(this);
        else if (IsEqualIID(riid, IID_ISupportErrorInfo))
            *object = static_cast<ISupportErrorInfo*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --m_references;
        if (left == 0) delete this;
        return left;
    }
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override {
        return IsEqualIID(riid, IID_ISMPrivateKeyInfrastructure) ||
                       IsEqualIID(riid, IID_ISMPrivateKeyInfrastructureEx)
                   ? S_OK
                   : S_FALSE;
    }

    STDMETHODIMP FindKey(LONG certId, ISMAsymKey** found) override {
        *found = nullptr;
        return record("FindKey", {std::to_string(certId)}, nullptr,
                      [&] { return handOut(keyFound ? key : velcom::ComPtr<TestKey>(), found); });
    }
    STDMETHODIMP Import(ISMCertificateList* certificates, ISMCRLList* revocationLists) override {
        return record("Import", {label(certificates), label(revocationLists)});
    }
    STDMETHODIMP Load(BSTR file, ISMCertificateList** certificates,
                      ISMCRLList** revocationLists) override {
        *certificates = nullptr;
        *revocationLists = nullptr;
        return record("Load", {toAnsi(file)}, file, [&] {
            handOut(loadedCertificates, certificates);
            return handOut(loadedRevocationLists, revocationLists);
        });
    }
    STDMETHODIMP Export2(BSTR file, FileFormat format, FileEncoding encoding,
                         VARIANT certificateIds) override {
        return record("Export2",
                      withList({toAnsi(file), std::to_string(format), std::to_string(encoding)},
                               certificateIds, VT_I4));
    }
    STDMETHODIMP CreateRequest(RequestType type, BSTR password, VARIANT attributes,
                               ISMRequest** created) override {
        *created = nullptr;
        return record("CreateRequest",
                      withList({std::to_string(type), toAnsi(password)}, attributes, VT_BSTR),
                      nullptr, [&] { return handOut(request, created); });
    }
    STDMETHODIMP AddRequest(ISMRequest* keyRequest, BSTR reference) override {
        return record("AddRequest", {label(keyRequest), toAnsi(reference)});
    }
    STDMETHODIMP GetOpenRequests(VARIANT* references) override {
        VariantInit(references);
        return record("GetOpenRequests", {}, nullptr,
                      [&] { return VariantCopy(references, openRequests.get()); });
    }
    STDMETHODIMP ImportRequestedCertificate(BSTR file, BSTR reference, LONG* certId) override {
        return record("ImportRequestedCertificate", {toAnsi(file), toAnsi(reference)}, file,
                      [&] { return imported(certId); });
    }
    STDMETHODIMP ImportRequestedCertificate2(BSTR file, BSTR reference, BSTR* password,
                                             LONG* certId) override {
        const std::string passwordText = password == nullptr ? kNullArgument : toAnsi(*password);
        return record("ImportRequestedCertificate2",
                      {toAnsi(file), toAnsi(reference), passwordText}, file,
                      [&] { return imported(certId); });
    }
    STDMETHODIMP Revoke(ISMCertificate* certificate) override {
        return record("Revoke", {label(certificate)});
    }
    STDMETHODIMP ExportKey(BSTR file, BSTR password, FileFormat format, FileEncoding encoding,
                           ISMAsymKey* privateKey) override {
        return record("ExportKey", {toAnsi(file), toAnsi(password), std::to_string(format),
                                    std::to_string(encoding), label(privateKey)});
    }

#define VEL_NOT_EXPECTED(method, ...) \
    STDMETHODIMP method(__VA_ARGS__) override { return notExpected(#method); }
    VEL_FOR_EACH(VEL_NOT_EXPECTED, (Verify2, LONG, LONG, CertStatus*),
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
#undef VEL_NOT_EXPECTED

private:
    explicit RecordingPki(Extended extended)
        : MethodScript({"CreateRequest", "AddRequest", "GetOpenRequests",
                        "ImportRequestedCertificate", "ImportRequestedCertificate2", "Revoke",
                        "FindKey", "Export2", "ExportKey", "Load", "Import"}),
          m_extended(extended) {}
    ~RecordingPki() = default;

    // Records the call (with the content of the file, if named); its scripted failure, or work.
    HRESULT record(const char* method, std::vector<std::string> arguments, BSTR file = nullptr,
                   const std::function<HRESULT()>& work = {}) {
        std::optional<std::string> content;
        std::ifstream read;
        if (file != nullptr) read.open(toAnsi(file), std::ios::binary);
        if (read.is_open())
            content.emplace(std::istreambuf_iterator<char>(read), std::istreambuf_iterator<char>());
        m_calls.push_back({method, std::move(arguments), std::move(content)});
        const bool extended = std::string_view(method) == "ImportRequestedCertificate2";
        const HRESULT result = enter(
            method, extended ? IID_ISMPrivateKeyInfrastructureEx : IID_ISMPrivateKeyInfrastructure);
        return result != S_OK || !work ? result : work();
    }
    HRESULT notExpected(const char* method) {
        m_calls.push_back({method, {}, std::nullopt});
        return failWithDescription(E_NOTIMPL, IID_ISMPrivateKeyInfrastructure,
                                   std::string("the PKI double does not implement ") + method);
    }
    // An interface argument: null, one of the doubles by its label, or something else.
    template <class Interface>
    static std::string label(Interface* object) {
        if (object == nullptr) return kNullArgument;
        if (auto* known = dynamic_cast<TestRequest*>(object)) return known->base64;
        if (auto* known = dynamic_cast<TestCertificate*>(object))
            return known->serial.value_or(kNullArgument);
        if (auto* known = dynamic_cast<TestKey*>(object)) return known->label;
        if (auto* known = dynamic_cast<TestCertificateList*>(object)) return known->label;
        if (auto* known = dynamic_cast<TestCrlList*>(object)) return known->label;
        return kForeignArgument;
    }
    static std::vector<std::string> withList(std::vector<std::string> arguments,
                                             const VARIANT& value, VARTYPE element) {
        const ListArgument list = readListArgument(value);
        if (list.isList(element)) {
            arguments.insert(arguments.end(), list.items.begin(), list.items.end());
        } else {
            char type[32];
            std::snprintf(type, sizeof type, "<vartype 0x%04x>", static_cast<unsigned>(list.type));
            arguments.emplace_back(type);
        }
        return arguments;
    }
    HRESULT imported(LONG* certId) const {
        *certId = certificateId;
        return S_OK;
    }
    template <class Interface, class Double>
    static HRESULT handOut(const velcom::ComPtr<Double>& object, Interface** result) {
        *result = object.get();
        if (object) object->AddRef();
        return S_OK;
    }

    Extended m_extended;
    ULONG m_references = 0;
    std::vector<PkiCall> m_calls;
};

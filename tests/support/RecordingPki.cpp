#include "support/RecordingPki.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <utility>

namespace {

// AsBinaryString of requests and certificates: only the Base64 form is scripted.
HRESULT binaryString(LONG base64Flag, const std::string& text, VARTYPE type, REFIID iid,
                     VARIANT* data) {
    if (data == nullptr) return E_POINTER;
    VariantInit(data);
    if (base64Flag != 1)
        return failWithDescription(E_INVALIDARG, iid, "only the Base64 form (1) is scripted");
    velcom::Variant value;
    if (type == (VT_ARRAY | VT_UI1)) {
        value = makeByteArray(text);
    } else if (type == VT_BSTR) {
        value.put()->vt = VT_BSTR;
        value.get()->bstrVal = toBstr(text).detach();
    }
    *data = value.detach();
    return S_OK;
}

HRESULT giveText(const std::string& text, BSTR* value) {
    if (value == nullptr) return E_POINTER;
    *value = toBstr(text).detach();
    return S_OK;
}

std::string decimal(LONG value) { return std::to_string(value); }

std::string text(BSTR value) { return toAnsi(value); }

// An interface argument: null, one of the doubles by its label, or something else.
template <class Double, class Interface, class Label>
std::string objectText(Interface* object, Label label) {
    if (object == nullptr) return kNullArgument;
    if (const Double* known = dynamic_cast<const Double*>(object)) return label(*known);
    return kForeignArgument;
}

std::string requestText(ISMRequest* request) {
    return objectText<TestRequest>(request, [](const TestRequest& known) { return known.base64; });
}

std::string certificateText(ISMCertificate* certificate) {
    return objectText<TestCertificate>(certificate, [](const TestCertificate& known) {
        return known.serial.value_or(kNullArgument);
    });
}

std::string keyText(ISMAsymKey* key) {
    return objectText<TestKey>(key, [](const TestKey& known) { return known.label; });
}

// A list argument adds one argument per element when it has the form the component is to pass.
void appendList(std::vector<std::string>& arguments, const VARIANT& value, VARTYPE element) {
    const ListArgument list = readListArgument(value);
    if (list.isList(element)) {
        arguments.insert(arguments.end(), list.items.begin(), list.items.end());
        return;
    }
    char type[32];
    std::snprintf(type, sizeof type, "<vartype 0x%04x>", static_cast<unsigned>(list.type));
    arguments.emplace_back(type);
}

std::optional<std::string> fileContent(BSTR path) {
    std::ifstream file(toAnsi(path), std::ios::binary);
    if (!file) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

template <class Interface, class Double>
HRESULT handOut(const velcom::ComPtr<Double>& object, Interface** result) {
    if (result == nullptr) return E_POINTER;
    *result = object.get();
    if (object) object->AddRef();
    return S_OK;
}

}  // namespace

velcom::ComPtr<TestRequest> TestRequest::create(std::string base64) {
    return velcom::ComPtr<TestRequest>(new TestRequest(std::move(base64)));
}

TestRequest::TestRequest(std::string text)
    : CountedDouble({"Type", "AsBinaryString"}), base64(std::move(text)) {}

STDMETHODIMP TestRequest::get_Type(RequestType* type) {
    if (const HRESULT result = enter("Type"); result != S_OK) return result;
    if (type == nullptr) return E_POINTER;
    *type = SMRequestSPKAC;
    return S_OK;
}

STDMETHODIMP TestRequest::AsBinaryString(LONG base64Flag, VARIANT* data) {
    if (const HRESULT result = enter("AsBinaryString"); result != S_OK) return result;
    return binaryString(base64Flag, base64, binaryType, IID_ISMRequest, data);
}

velcom::ComPtr<TestKey> TestKey::create(std::string label) {
    return velcom::ComPtr<TestKey>(new TestKey(std::move(label)));
}

TestKey::TestKey(std::string keyLabel) : CountedDouble({"Decrypt"}), label(std::move(keyLabel)) {}

STDMETHODIMP TestKey::Decrypt(BSTR password) {
    decryptPasswords.push_back(text(password));
    return enter("Decrypt");
}

STDMETHODIMP TestKey::Encrypt(BSTR) { return E_NOTIMPL; }
STDMETHODIMP TestKey::get_Length(LONG*) { return E_NOTIMPL; }
STDMETHODIMP TestKey::get_Type(KeyType*) { return E_NOTIMPL; }

velcom::ComPtr<TestCertificate> TestCertificate::create(std::optional<std::string> serial, LONG id,
                                                        std::string base64) {
    return velcom::ComPtr<TestCertificate>(
        new TestCertificate(std::move(serial), id, std::move(base64)));
}

TestCertificate::TestCertificate(std::optional<std::string> serialText, LONG identifier,
                                 std::string text)
    : CountedDouble({"Serial", "ID", "AsBinaryString"}),
      serial(std::move(serialText)),
      id(identifier),
      base64(std::move(text)) {}

STDMETHODIMP TestCertificate::get_Serial(BSTR* value) {
    if (value != nullptr) *value = nullptr;
    if (const HRESULT result = enter("Serial"); result != S_OK) return result;
    if (!serial) return value == nullptr ? E_POINTER : S_OK;
    return giveText(*serial, value);
}

STDMETHODIMP TestCertificate::get_ID(LONG* value) {
    if (const HRESULT result = enter("ID"); result != S_OK) return result;
    if (value == nullptr) return E_POINTER;
    *value = id;
    return S_OK;
}

STDMETHODIMP TestCertificate::AsBinaryString(LONG base64Flag, VARIANT* data) {
    if (const HRESULT result = enter("AsBinaryString"); result != S_OK) return result;
    return binaryString(base64Flag, base64, binaryType, IID_ISMCertificate, data);
}

STDMETHODIMP TestCertificate::get_MailAddress(BSTR*) { return E_NOTIMPL; }
STDMETHODIMP TestCertificate::get_Issuer(VARIANT*) { return E_NOTIMPL; }
STDMETHODIMP TestCertificate::get_Subject(VARIANT*) { return E_NOTIMPL; }
STDMETHODIMP TestCertificate::Fingerprint(DigestAlgo, BSTR*) { return E_NOTIMPL; }
STDMETHODIMP TestCertificate::IsActive(Validity*) { return E_NOTIMPL; }
STDMETHODIMP TestCertificate::get_NotBefore(BSTR*) { return E_NOTIMPL; }
STDMETHODIMP TestCertificate::get_NotAfter(BSTR*) { return E_NOTIMPL; }
STDMETHODIMP TestCertificate::IsCA(LONG*) { return E_NOTIMPL; }
STDMETHODIMP TestCertificate::IsSelfSigned(LONG*) { return E_NOTIMPL; }
STDMETHODIMP TestCertificate::get_Default(LONG*) { return E_NOTIMPL; }
STDMETHODIMP TestCertificate::put_Default(LONG) { return E_NOTIMPL; }
STDMETHODIMP TestCertificate::get_TrustLevel(CertTrustLevel*) { return E_NOTIMPL; }
STDMETHODIMP TestCertificate::put_TrustLevel(CertTrustLevel) { return E_NOTIMPL; }
STDMETHODIMP TestCertificate::get_DBState(DataBaseState*) { return E_NOTIMPL; }
STDMETHODIMP TestCertificate::get_Comment(BSTR*) { return E_NOTIMPL; }
STDMETHODIMP TestCertificate::put_Comment(BSTR) { return E_NOTIMPL; }
STDMETHODIMP TestCertificate::get_KeyLength(LONG*) { return E_NOTIMPL; }
STDMETHODIMP TestCertificate::get_KeyType(KeyType*) { return E_NOTIMPL; }
STDMETHODIMP TestCertificate::GetExtension(BSTR, LONG*, VARIANT*) { return E_NOTIMPL; }
STDMETHODIMP TestCertificate::get_CommonName(BSTR*) { return E_NOTIMPL; }

velcom::ComPtr<TestCertificateList> TestCertificateList::create(std::string label) {
    return velcom::ComPtr<TestCertificateList>(new TestCertificateList(std::move(label)));
}

TestCertificateList::TestCertificateList(std::string listLabel)
    : CountedDouble({"Count"}), label(std::move(listLabel)) {}

STDMETHODIMP TestCertificateList::get_Count(LONG* value) {
    if (const HRESULT result = enter("Count"); result != S_OK) return result;
    if (value == nullptr) return E_POINTER;
    *value = count;
    return S_OK;
}

STDMETHODIMP TestCertificateList::Add(ISMCertificate*) { return E_NOTIMPL; }
STDMETHODIMP TestCertificateList::Remove(LONG) { return E_NOTIMPL; }
STDMETHODIMP TestCertificateList::get__NewEnum(IUnknown**) { return E_NOTIMPL; }
STDMETHODIMP TestCertificateList::get_Item(LONG, ISMCertificate**) { return E_NOTIMPL; }

velcom::ComPtr<TestCrlList> TestCrlList::create(std::string label) {
    return velcom::ComPtr<TestCrlList>(new TestCrlList(std::move(label)));
}

TestCrlList::TestCrlList(std::string listLabel)
    : CountedDouble({"Count"}), label(std::move(listLabel)) {}

STDMETHODIMP TestCrlList::get_Count(LONG* value) {
    if (const HRESULT result = enter("Count"); result != S_OK) return result;
    if (value == nullptr) return E_POINTER;
    *value = count;
    return S_OK;
}

STDMETHODIMP TestCrlList::Add(ISMRevocationList*) { return E_NOTIMPL; }
STDMETHODIMP TestCrlList::Remove(LONG) { return E_NOTIMPL; }
STDMETHODIMP TestCrlList::get__NewEnum(IUnknown**) { return E_NOTIMPL; }
STDMETHODIMP TestCrlList::get_Item(LONG, ISMRevocationList**) { return E_NOTIMPL; }

velcom::ComPtr<RecordingPki> RecordingPki::create(Extended extended) {
    return velcom::ComPtr<RecordingPki>(new RecordingPki(extended));
}

RecordingPki::RecordingPki(Extended extended) : m_extended(extended) {}

std::vector<std::string> RecordingPki::methods() const {
    std::vector<std::string> names;
    for (const PkiCall& call : m_calls) names.push_back(call.method);
    return names;
}

std::vector<PkiCall> RecordingPki::callsTo(std::string_view method) const {
    std::vector<PkiCall> found;
    for (const PkiCall& call : m_calls)
        if (call.method == method) found.push_back(call);
    return found;
}

STDMETHODIMP RecordingPki::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, IID_ISMPrivateKeyInfrastructure))
        *object = static_cast<ISMPrivateKeyInfrastructure*>(this);
    else if (IsEqualIID(riid, IID_ISMPrivateKeyInfrastructureEx) && m_extended == Extended::Offered)
        *object = static_cast<ISMPrivateKeyInfrastructureEx*>(this);
    else if (IsEqualIID(riid, IID_ISupportErrorInfo))
        *object = static_cast<ISupportErrorInfo*>(this);
    if (*object == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) RecordingPki::AddRef() { return ++m_references; }

STDMETHODIMP_(ULONG) RecordingPki::Release() {
    const ULONG left = --m_references;
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP RecordingPki::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IID_ISMPrivateKeyInfrastructure) ||
                   IsEqualIID(riid, IID_ISMPrivateKeyInfrastructureEx)
               ? S_OK
               : S_FALSE;
}

HRESULT RecordingPki::record(const char* method, std::vector<std::string> arguments,
                             std::optional<std::string> content) {
    m_calls.push_back({method, std::move(arguments), std::move(content)});
    const bool extendedMethod = std::string_view(method) == "ImportRequestedCertificate2";
    return m_methods.enter(method, extendedMethod ? IID_ISMPrivateKeyInfrastructureEx
                                                  : IID_ISMPrivateKeyInfrastructure);
}

HRESULT RecordingPki::notExpected(const char* method) {
    m_calls.push_back({method, {}, std::nullopt});
    return failWithDescription(E_NOTIMPL, IID_ISMPrivateKeyInfrastructure,
                               std::string("the PKI double does not implement ") + method);
}

STDMETHODIMP RecordingPki::FindKey(LONG certId, ISMAsymKey** foundKey) {
    if (foundKey != nullptr) *foundKey = nullptr;
    if (const HRESULT result = record("FindKey", {decimal(certId)}); result != S_OK) return result;
    return handOut(key, foundKey);
}

STDMETHODIMP RecordingPki::Import(ISMCertificateList* certificates, ISMCRLList* revocationLists) {
    return record("Import",
                  {objectText<TestCertificateList>(
                       certificates, [](const TestCertificateList& known) { return known.label; }),
                   objectText<TestCrlList>(revocationLists,
                                           [](const TestCrlList& known) { return known.label; })});
}

STDMETHODIMP RecordingPki::Load(BSTR file, ISMCertificateList** certificates,
                                ISMCRLList** revocationLists) {
    if (certificates != nullptr) *certificates = nullptr;
    if (revocationLists != nullptr) *revocationLists = nullptr;
    if (const HRESULT result = record("Load", {text(file)}, fileContent(file)); result != S_OK)
        return result;
    if (const HRESULT result = handOut(loadedCertificates, certificates); FAILED(result))
        return result;
    return handOut(loadedRevocationLists, revocationLists);
}

STDMETHODIMP RecordingPki::Export2(BSTR file, FileFormat format, FileEncoding encoding,
                                   VARIANT certificateIds) {
    std::vector<std::string> arguments{text(file), decimal(format), decimal(encoding)};
    appendList(arguments, certificateIds, VT_I4);
    return record("Export2", std::move(arguments));
}

STDMETHODIMP RecordingPki::CreateRequest(RequestType type, BSTR password, VARIANT attributes,
                                         ISMRequest** created) {
    if (created != nullptr) *created = nullptr;
    std::vector<std::string> arguments{decimal(type), text(password)};
    appendList(arguments, attributes, VT_BSTR);
    if (const HRESULT result = record("CreateRequest", std::move(arguments)); result != S_OK)
        return result;
    return handOut(request, created);
}

STDMETHODIMP RecordingPki::AddRequest(ISMRequest* keyRequest, BSTR reference) {
    return record("AddRequest", {requestText(keyRequest), text(reference)});
}

STDMETHODIMP RecordingPki::GetOpenRequests(VARIANT* references) {
    if (references != nullptr) VariantInit(references);
    if (const HRESULT result = record("GetOpenRequests", {}); result != S_OK) return result;
    if (references == nullptr) return E_POINTER;
    return VariantCopy(references, openRequests.get());
}

STDMETHODIMP RecordingPki::ImportRequestedCertificate(BSTR file, BSTR reference, LONG* certId) {
    if (const HRESULT result =
            record("ImportRequestedCertificate", {text(file), text(reference)}, fileContent(file));
        result != S_OK)
        return result;
    if (certId == nullptr) return E_POINTER;
    *certId = certificateId;
    return S_OK;
}

STDMETHODIMP RecordingPki::ImportRequestedCertificate2(BSTR file, BSTR reference, BSTR* password,
                                                       LONG* certId) {
    if (const HRESULT result = record(
            "ImportRequestedCertificate2",
            {text(file), text(reference), password == nullptr ? kNullArgument : text(*password)},
            fileContent(file));
        result != S_OK)
        return result;
    if (certId == nullptr) return E_POINTER;
    *certId = certificateId;
    return S_OK;
}

STDMETHODIMP RecordingPki::Revoke(ISMCertificate* certificate) {
    return record("Revoke", {certificateText(certificate)});
}

STDMETHODIMP RecordingPki::ExportKey(BSTR file, BSTR password, FileFormat format,
                                     FileEncoding encoding, ISMAsymKey* privateKey) {
    return record("ExportKey", {text(file), text(password), decimal(format), decimal(encoding),
                                keyText(privateKey)});
}

STDMETHODIMP RecordingPki::Verify2(LONG, LONG, CertStatus*) { return notExpected("Verify2"); }
STDMETHODIMP RecordingPki::Verify(ISMCertificate*, LONG, CertStatus*) {
    return notExpected("Verify");
}
STDMETHODIMP RecordingPki::ImportKey(LONG, ISMAsymKey*) { return notExpected("ImportKey"); }
STDMETHODIMP RecordingPki::ExportPKCS12(BSTR, BSTR, ISMCertificate*, ISMAsymKey*, LONG) {
    return notExpected("ExportPKCS12");
}
STDMETHODIMP RecordingPki::LoadPKCS12(BSTR, BSTR, ISMCertificateList**, ISMKeyList**) {
    return notExpected("LoadPKCS12");
}
STDMETHODIMP RecordingPki::Export(BSTR, FileFormat, FileEncoding, ISMCertificateList*) {
    return notExpected("Export");
}
STDMETHODIMP RecordingPki::Find(CertType*, CertStatus*, BSTR*, LONG*, BSTR*, VARIANT*, BSTR*,
                                ISMCertificateList**) {
    return notExpected("Find");
}
STDMETHODIMP RecordingPki::GetCertificate(LONG, ISMCertificate**) {
    return notExpected("GetCertificate");
}
STDMETHODIMP RecordingPki::GetIssuer(ISMCertificate*, LONG, ISMCertificateList**) {
    return notExpected("GetIssuer");
}
STDMETHODIMP RecordingPki::HasValidCertifiedKey(BSTR, ISMCertificateList**, LONG*) {
    return notExpected("HasValidCertifiedKey");
}
STDMETHODIMP RecordingPki::FindValidCerts(VARIANT, VARIANT*, VARIANT*, ISMCertificateList**) {
    return notExpected("FindValidCerts");
}
STDMETHODIMP RecordingPki::AdjustDefaults(ISMCertificateList*) {
    return notExpected("AdjustDefaults");
}
STDMETHODIMP RecordingPki::CreateCertificateList(ISMCertificateList**) {
    return notExpected("CreateCertificateList");
}
STDMETHODIMP RecordingPki::Delete(ISMCertificate*) { return notExpected("Delete"); }
STDMETHODIMP RecordingPki::Delete2(LONG) { return notExpected("Delete2"); }

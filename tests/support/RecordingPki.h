// A recording stand-in for the host's PKI component and the objects it hands out or takes: key
// requests, keys, certificates and the lists that Load gives. Every double lives on the heap and
// is reference counted; tests hold them in velcom::ComPtr and check references() (or run under
// ASan) to see that the component gives back what it takes.
//
//     auto pki = RecordingPki::create(RecordingPki::Extended::Offered);
//     pki->request->base64 = "MIIBQDCBqjAN";            // what the new key request's text is
//     pki->fail("AddRequest", E_FAIL, "store locked");
//     ... proxy->Init(host, random, pki.get(), tmpDir) ...
//     EXPECT_EQ(pki->methods(), (std::vector<std::string>{"CreateRequest", "AddRequest"}));
//     EXPECT_EQ(pki->callsTo("CreateRequest").at(0).arguments,
//               (std::vector<std::string>{"0", "keypass", "challenge=abc"}));
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <velTesseraComm/velTesseraComm.h>

#include "support/DispatchStub.h"

// How a PKI call records an argument that is a null pointer (an interface, or the password
// address of ImportRequestedCertificate2).
inline constexpr char kNullArgument[] = "<null>";
// How a PKI call records an interface argument that is not one of these doubles.
inline constexpr char kForeignArgument[] = "<foreign>";

// A key request, as CreateRequest hands it out. Scriptable: "Type", "AsBinaryString".
class TestRequest final : public CountedDouble<ISMRequest> {
public:
    static velcom::ComPtr<TestRequest> create(std::string base64 = "MIIBSPKACREQUEST");

    // The text that AsBinaryString(1) answers, and the VARIANT type it comes in:
    // VT_ARRAY|VT_UI1 as a real component gives it, or VT_BSTR or VT_EMPTY to play a broken one.
    // AsBinaryString with any flag but 1 fails with E_INVALIDARG.
    std::string base64;
    VARTYPE binaryType = VT_ARRAY | VT_UI1;

    STDMETHODIMP get_Type(RequestType* type) override;
    STDMETHODIMP AsBinaryString(LONG base64Flag, VARIANT* data) override;

private:
    explicit TestRequest(std::string text);
};

// A private key, as FindKey hands it out. Scriptable: "Decrypt".
class TestKey final : public CountedDouble<ISMAsymKey> {
public:
    static velcom::ComPtr<TestKey> create(std::string label = "key");

    // How PKI calls record this key as an argument.
    std::string label;
    // The password of every Decrypt, failed ones included, in order.
    std::vector<std::string> decryptPasswords;

    STDMETHODIMP Decrypt(BSTR password) override;
    STDMETHODIMP Encrypt(BSTR password) override;
    STDMETHODIMP get_Length(LONG* length) override;
    STDMETHODIMP get_Type(KeyType* type) override;

private:
    explicit TestKey(std::string keyLabel);
};

// A certificate as a host hands it to the component. Scriptable: "Serial", "ID",
// "AsBinaryString". PKI calls record it as an argument by its serial.
class TestCertificate final : public CountedDouble<ISMCertificate> {
public:
    static velcom::ComPtr<TestCertificate> create(std::optional<std::string> serial = "0A3F",
                                                  LONG id = 7,
                                                  std::string base64 = "MIIBCERTIFICATE");

    std::optional<std::string> serial;  // nullopt: Serial answers a null BSTR
    LONG id;
    // As TestRequest: the text of AsBinaryString(1) and its VARIANT type.
    std::string base64;
    VARTYPE binaryType = VT_ARRAY | VT_UI1;

    STDMETHODIMP get_Serial(BSTR* value) override;
    STDMETHODIMP get_MailAddress(BSTR* value) override;
    STDMETHODIMP get_Issuer(VARIANT* value) override;
    STDMETHODIMP get_Subject(VARIANT* value) override;
    STDMETHODIMP Fingerprint(DigestAlgo algorithm, BSTR* fingerprint) override;
    STDMETHODIMP IsActive(Validity* validity) override;
    STDMETHODIMP get_NotBefore(BSTR* value) override;
    STDMETHODIMP get_NotAfter(BSTR* value) override;
    STDMETHODIMP get_ID(LONG* value) override;
    STDMETHODIMP IsCA(LONG* isCA) override;
    STDMETHODIMP IsSelfSigned(LONG* isSelfSigned) override;
    STDMETHODIMP get_Default(LONG* value) override;
    STDMETHODIMP put_Default(LONG value) override;
    STDMETHODIMP get_TrustLevel(CertTrustLevel* value) override;
    STDMETHODIMP put_TrustLevel(CertTrustLevel value) override;
    STDMETHODIMP get_DBState(DataBaseState* value) override;
    STDMETHODIMP AsBinaryString(LONG base64Flag, VARIANT* data) override;
    STDMETHODIMP get_Comment(BSTR* value) override;
    STDMETHODIMP put_Comment(BSTR value) override;
    STDMETHODIMP get_KeyLength(LONG* value) override;
    STDMETHODIMP get_KeyType(KeyType* value) override;
    STDMETHODIMP GetExtension(BSTR oid, LONG* critical, VARIANT* value) override;
    STDMETHODIMP get_CommonName(BSTR* value) override;

private:
    TestCertificate(std::optional<std::string> serialText, LONG identifier, std::string text);
};

// The certificate list that Load gives. Scriptable: "Count". Add, Remove, _NewEnum and Item
// answer E_NOTIMPL.
class TestCertificateList final : public CountedDouble<ISMCertificateList> {
public:
    static velcom::ComPtr<TestCertificateList> create(std::string label = "certificates");

    std::string label;  // how Import records this list
    LONG count = 0;     // what Count answers

    STDMETHODIMP get_Count(LONG* value) override;
    STDMETHODIMP Add(ISMCertificate* certificate) override;
    STDMETHODIMP Remove(LONG index) override;
    STDMETHODIMP get__NewEnum(IUnknown** enumerator) override;
    STDMETHODIMP get_Item(LONG index, ISMCertificate** certificate) override;

private:
    explicit TestCertificateList(std::string listLabel);
};

// The list of revocation lists that Load gives; as TestCertificateList.
class TestCrlList final : public CountedDouble<ISMCRLList> {
public:
    static velcom::ComPtr<TestCrlList> create(std::string label = "revocation lists");

    std::string label;  // how Import records this list
    LONG count = 0;     // what Count answers

    STDMETHODIMP get_Count(LONG* value) override;
    STDMETHODIMP Add(ISMRevocationList* revocationList) override;
    STDMETHODIMP Remove(LONG index) override;
    STDMETHODIMP get__NewEnum(IUnknown** enumerator) override;
    STDMETHODIMP get_Item(LONG index, ISMRevocationList** revocationList) override;

private:
    explicit TestCrlList(std::string listLabel);
};

// One call on the PKI component. Arguments are texts in declaration order: numbers and
// enumerations in decimal, strings as UTF-8 (a null BSTR as empty), null pointers as
// kNullArgument, doubles by their label (requests by base64, certificates by serial, keys and
// lists by label) and other objects as kForeignArgument. A VARIANT list argument adds one
// argument per element when it has the form the component is to pass (one dimension, lower
// bound 0, VT_ARRAY|VT_BSTR for CreateRequest's attributes, VT_ARRAY|VT_I4 in decimal for
// Export2's identifiers), else the single text "<vartype 0xNNNN>" with its type.
struct PkiCall {
    std::string method;
    std::vector<std::string> arguments;
    // For ImportRequestedCertificate, ImportRequestedCertificate2 and Load: the bytes of the
    // named file at the time of the call; nullopt when it could not be read.
    std::optional<std::string> fileContent;
};

class RecordingPki final : public DispatchStub<ISMPrivateKeyInfrastructure>,
                           public DispatchStub<ISMPrivateKeyInfrastructureEx>,
                           public ISupportErrorInfo {
public:
    // Whether the component answers a query for ISMPrivateKeyInfrastructureEx.
    enum class Extended { Offered, Missing };

    static velcom::ComPtr<RecordingPki> create(Extended extended);

    // Every call, in order, failed ones included; methods the component is not expected to call
    // are recorded too (without arguments) and answer E_NOTIMPL.
    const std::vector<PkiCall>& calls() const { return m_calls; }
    // The method names of calls(), in order.
    std::vector<std::string> methods() const;
    // The calls of one method, in order.
    std::vector<PkiCall> callsTo(std::string_view method) const;

    // Scriptable: "CreateRequest", "AddRequest", "GetOpenRequests", "ImportRequestedCertificate",
    // "ImportRequestedCertificate2", "Revoke", "FindKey", "Export2", "ExportKey", "Load",
    // "Import". A failing call is recorded, then returns its code with the description as error
    // information, its out pointers null and VARIANTs empty (numbers untouched). See
    // MethodScript::fail.
    void fail(std::string_view method, HRESULT result, std::string description = {},
              unsigned after = 0) {
        m_methods.fail(method, result, std::move(description), after);
    }
    void succeed(std::string_view method) { m_methods.succeed(method); }

    // What the calls hand out. CreateRequest gives `request` (the same object on every call),
    // FindKey gives `key`, Load gives the two lists; a null one is handed out as null.
    velcom::ComPtr<TestRequest> request = TestRequest::create();
    velcom::ComPtr<TestKey> key = TestKey::create();
    velcom::ComPtr<TestCertificateList> loadedCertificates = TestCertificateList::create();
    velcom::ComPtr<TestCrlList> loadedRevocationLists = TestCrlList::create();
    // What GetOpenRequests answers (a copy): VT_EMPTY until set.
    velcom::Variant openRequests;
    // Sets openRequests to a VT_ARRAY|VT_BSTR of the references.
    void setOpenRequests(const std::vector<std::string>& references) {
        openRequests = makeStringList(references);
    }
    // The identifier that both imports answer.
    LONG certificateId = 1;

    ULONG references() const { return m_references; }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

    STDMETHODIMP FindKey(LONG certId, ISMAsymKey** foundKey) override;
    STDMETHODIMP Verify2(LONG certId, LONG online, CertStatus* status) override;
    STDMETHODIMP Verify(ISMCertificate* certificate, LONG online, CertStatus* status) override;
    STDMETHODIMP ImportKey(LONG certId, ISMAsymKey* privateKey) override;
    STDMETHODIMP ExportPKCS12(BSTR file, BSTR password, ISMCertificate* certificate,
                              ISMAsymKey* privateKey, LONG withChain) override;
    STDMETHODIMP Import(ISMCertificateList* certificates, ISMCRLList* revocationLists) override;
    STDMETHODIMP Load(BSTR file, ISMCertificateList** certificates,
                      ISMCRLList** revocationLists) override;
    STDMETHODIMP LoadPKCS12(BSTR file, BSTR password, ISMCertificateList** certificates,
                            ISMKeyList** keys) override;
    STDMETHODIMP Export(BSTR file, FileFormat format, FileEncoding encoding,
                        ISMCertificateList* certificates) override;
    STDMETHODIMP Export2(BSTR file, FileFormat format, FileEncoding encoding,
                         VARIANT certificateIds) override;
    STDMETHODIMP Find(CertType* type, CertStatus* status, BSTR* address, LONG* isDefault,
                      BSTR* commonName, VARIANT* issuer, BSTR* serial,
                      ISMCertificateList** certificates) override;
    STDMETHODIMP GetCertificate(LONG id, ISMCertificate** certificate) override;
    STDMETHODIMP GetIssuer(ISMCertificate* certificate, LONG depth,
                           ISMCertificateList** chain) override;
    STDMETHODIMP HasValidCertifiedKey(BSTR address, ISMCertificateList** certificates,
                                      LONG* hasKey) override;
    STDMETHODIMP FindValidCerts(VARIANT addresses, VARIANT* found, VARIANT* notFound,
                                ISMCertificateList** certificates) override;
    STDMETHODIMP AdjustDefaults(ISMCertificateList* certificates) override;
    STDMETHODIMP CreateCertificateList(ISMCertificateList** certificates) override;
    STDMETHODIMP CreateRequest(RequestType type, BSTR password, VARIANT attributes,
                               ISMRequest** created) override;
    STDMETHODIMP AddRequest(ISMRequest* keyRequest, BSTR reference) override;
    STDMETHODIMP GetOpenRequests(VARIANT* references) override;
    STDMETHODIMP ImportRequestedCertificate(BSTR file, BSTR reference, LONG* certId) override;
    STDMETHODIMP Revoke(ISMCertificate* certificate) override;
    STDMETHODIMP ExportKey(BSTR file, BSTR password, FileFormat format, FileEncoding encoding,
                           ISMAsymKey* privateKey) override;
    STDMETHODIMP Delete(ISMCertificate* certificate) override;
    STDMETHODIMP Delete2(LONG certId) override;

    STDMETHODIMP ImportRequestedCertificate2(BSTR file, BSTR reference, BSTR* password,
                                             LONG* certId) override;

private:
    explicit RecordingPki(Extended extended);
    ~RecordingPki() = default;

    // Records the call and gives the scripted result of the method.
    HRESULT record(const char* method, std::vector<std::string> arguments,
                   std::optional<std::string> fileContent = std::nullopt);
    HRESULT notExpected(const char* method);

    Extended m_extended;
    ULONG m_references = 0;
    std::vector<PkiCall> m_calls;
    MethodScript m_methods{"CreateRequest",
                           "AddRequest",
                           "GetOpenRequests",
                           "ImportRequestedCertificate",
                           "ImportRequestedCertificate2",
                           "Revoke",
                           "FindKey",
                           "Export2",
                           "ExportKey",
                           "Load",
                           "Import"};
};

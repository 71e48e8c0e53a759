// A PKI component making real key requests with CryptoAPI; GetCertificate(1).Serial is the serial
// of the certificate imported for its one open request.
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <velTesseraComm/DispatchTables.h>
#include <wincrypt.h>

#include "support/RecordingPki.h"

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING;

void check(BOOL succeeded, const char* step) {
    if (!succeeded)
        throw std::runtime_error(std::string(step) + " failed: " + std::to_string(GetLastError()));
}

// What a CryptoAPI function writes, asked first for its size.
template <class Call>
std::string written(const char* step, Call call) {
    DWORD size = 0;
    check(call(nullptr, &size), step);
    std::string bytes(size, '\0');
    check(call(reinterpret_cast<BYTE*>(bytes.data()), &size), step);
    bytes.resize(size);
    return bytes;
}

template <class Release>
struct Finally {
    Release release;
    ~Finally() { release(); }
};

std::string encoded(LPCSTR type, const void* structure) {
    return written("CryptEncodeObjectEx", [&](BYTE* out, DWORD* size) {
        return CryptEncodeObjectEx(kEncoding, type, structure, 0, nullptr, out, size);
    });
}

CRYPT_DER_BLOB blobOf(std::string& bytes) {
    return {static_cast<DWORD>(bytes.size()), reinterpret_cast<BYTE*>(bytes.data())};
}

// SignedPublicKeyAndChallenge: key and IA5String challenge, signed with SHA-256 like a certificate.
std::string signedPublicKeyAndChallenge(HCRYPTPROV provider, std::string publicKey,
                                        std::string challenge) {
    CERT_NAME_VALUE challengeValue{CERT_RDN_IA5_STRING, blobOf(challenge)};
    std::string challengeDer = encoded(X509_NAME_VALUE, &challengeValue);
    CRYPT_DER_BLOB parts[] = {blobOf(publicKey), blobOf(challengeDer)};
    CRYPT_SEQUENCE_OF_ANY sequence{2, parts};
    std::string toBeSigned = encoded(X509_SEQUENCE_OF_ANY, &sequence);
    CRYPT_ALGORITHM_IDENTIFIER algorithm{const_cast<char*>(szOID_RSA_SHA256RSA), {}};
    const CRYPT_DER_BLOB content = blobOf(toBeSigned);
    std::string signature = written("CryptSignCertificate", [&](BYTE* out, DWORD* size) {
        return CryptSignCertificate(provider, AT_SIGNATURE, kEncoding, content.pbData,
                                    content.cbData, &algorithm, nullptr, out, size);
    });
    const CRYPT_DER_BLOB bits = blobOf(signature);
    CERT_SIGNED_CONTENT_INFO signedContent{content, algorithm, {bits.cbData, bits.pbData, 0}};
    return encoded(X509_CERT, &signedContent);
}

std::string serialText(const CRYPT_INTEGER_BLOB& serial) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    // Little-endian: the most significant byte comes last.
    for (DWORD index = serial.cbData; index-- > 0;)
        text += {kDigits[serial.pbData[index] >> 4], kDigits[serial.pbData[index] & 0x0F]};
    const std::size_t first = text.find_first_not_of('0');
    return first == std::string::npos ? "0" : text.substr(first);
}

// The serial (hex, upper case) of the certificate in pemText for publicKey; empty when none is.
std::string serialOfCertificateFor(const std::string& pemText, const std::string& publicKey) {
    static constexpr std::string_view kBegin = "-----BEGIN CERTIFICATE-----";
    for (std::size_t begin = pemText.find(kBegin); begin != std::string::npos;
         begin = pemText.find(kBegin, begin + kBegin.size())) {
        const auto decode = [&](BYTE* out, DWORD* size) {
            return CryptStringToBinaryA(pemText.data() + begin,
                                        static_cast<DWORD>(pemText.size() - begin),
                                        CRYPT_STRING_BASE64HEADER, out, size, nullptr, nullptr);
        };
        std::string der = written("CryptStringToBinary", decode);
        const PCCERT_CONTEXT certificate =
            CertCreateCertificateContext(kEncoding, blobOf(der).pbData, blobOf(der).cbData);
        const Finally release{[certificate] { CertFreeCertificateContext(certificate); }};
        if (certificate && encoded(X509_PUBLIC_KEY_INFO,
                                   &certificate->pCertInfo->SubjectPublicKeyInfo) == publicKey)
            return serialText(certificate->pCertInfo->SerialNumber);
    }
    return {};
}

constexpr LONG kCertificateId = 1;

// A double that scripts call by name, through the contract's dispatch table.
template <class Double, class Interface>
class Scriptable : public Double {
public:
    explicit Scriptable(std::span<const velcom::DispatchMember> members) : m_table(members) {}

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

// A new RSA key and its signed public key and challenge (SPKAC), as a Windows PKI component makes
// them. Failures throw std::runtime_error naming the step.
class SpkacRequest final : public TestRequest {
public:
    explicit SpkacRequest(const std::string& challenge) {
        HCRYPTPROV provider = 0;
        check(CryptAcquireContextW(&provider, nullptr, MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES,
                                   CRYPT_VERIFYCONTEXT),
              "CryptAcquireContext");
        const Finally releaseProvider{[provider] { CryptReleaseContext(provider, 0); }};
        HCRYPTKEY key = 0;
        check(CryptGenKey(provider, AT_SIGNATURE, 2048 << 16, &key), "CryptGenKey");
        const Finally destroyKey{[key] { CryptDestroyKey(key); }};
        const std::string info = written("CryptExportPublicKeyInfo", [&](BYTE* out, DWORD* size) {
            return CryptExportPublicKeyInfo(provider, AT_SIGNATURE, kEncoding,
                                            reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(out), size);
        });
        publicKey = encoded(X509_PUBLIC_KEY_INFO,
                            reinterpret_cast<const CERT_PUBLIC_KEY_INFO*>(info.data()));
        const std::string spkac = signedPublicKeyAndChallenge(provider, publicKey, challenge);
        base64 = written("CryptBinaryToString", [&](BYTE* out, DWORD* size) {
            return CryptBinaryToStringA(
                reinterpret_cast<const BYTE*>(spkac.data()), static_cast<DWORD>(spkac.size()),
                CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF, reinterpret_cast<char*>(out), size);
        });
    }

    std::string publicKey;  // DER SubjectPublicKeyInfo
};

using IssuedCertificate = Scriptable<TestCertificate, ISMCertificate>;

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

// The methods a pick-up calls; the proxy must not find ImportRequestedCertificate2.
class CryptoApiPki final : public Scriptable<RecordingPki, ISMPrivateKeyInfrastructure> {
public:
    CryptoApiPki() : Scriptable(kISMPrivateKeyInfrastructureMembers) { extended = false; }

    STDMETHODIMP CreateRequest(RequestType, BSTR, VARIANT attributes,
                               ISMRequest** created) override {
        *created = nullptr;
        return guarded([&] {
            std::string challenge;
            for (const std::string& attribute : readListArgument(attributes).items)
                if (attribute.starts_with("challenge=")) challenge = attribute.substr(10);
            m_request = velcom::ComPtr<SpkacRequest>(new SpkacRequest(challenge));
            return m_request->QueryInterface(IID_ISMRequest, reinterpret_cast<void**>(created));
        });
    }
    STDMETHODIMP AddRequest(ISMRequest* made, BSTR reference) override {
        if (made != static_cast<ISMRequest*>(m_request.get()))
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
        const velcom::ComPtr<IssuedCertificate> issued(
            new IssuedCertificate(kISMCertificateMembers));
        issued->serial = m_serial;
        return issued->QueryInterface(IID_ISMCertificate, reinterpret_cast<void**>(certificate));
    }

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

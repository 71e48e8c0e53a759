#include "Spkac.h"

#include <memory>
#include <stdexcept>
#include <vector>

#include <velcom/com.h>
#include <wincrypt.h>

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING;
constexpr DWORD kKeyBits = 2048;

void check(BOOL succeeded, const char* step) {
    if (!succeeded)
        throw std::runtime_error(std::string(step) + " failed (" + std::to_string(GetLastError()) +
                                 ")");
}

class Provider {
public:
    Provider() {
        check(CryptAcquireContextW(&m_handle, nullptr, MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES,
                                   CRYPT_VERIFYCONTEXT),
              "CryptAcquireContext");
    }
    ~Provider() { CryptReleaseContext(m_handle, 0); }
    Provider(const Provider&) = delete;
    Provider& operator=(const Provider&) = delete;
    HCRYPTPROV get() const { return m_handle; }

private:
    HCRYPTPROV m_handle = 0;
};

class SigningKey {
public:
    explicit SigningKey(const Provider& provider) {
        check(CryptGenKey(provider.get(), AT_SIGNATURE, kKeyBits << 16, &m_handle), "CryptGenKey");
    }
    ~SigningKey() { CryptDestroyKey(m_handle); }
    SigningKey(const SigningKey&) = delete;
    SigningKey& operator=(const SigningKey&) = delete;

private:
    HCRYPTKEY m_handle = 0;
};

std::string encoded(LPCSTR type, const void* structure) {
    DWORD size = 0;
    check(CryptEncodeObjectEx(kEncoding, type, structure, 0, nullptr, nullptr, &size),
          "CryptEncodeObjectEx");
    std::string der(size, '\0');
    check(CryptEncodeObjectEx(kEncoding, type, structure, 0, nullptr, der.data(), &size),
          "CryptEncodeObjectEx");
    der.resize(size);
    return der;
}

CRYPT_DER_BLOB blobOf(std::string& bytes) {
    return {static_cast<DWORD>(bytes.size()), reinterpret_cast<BYTE*>(bytes.data())};
}

std::string publicKeyInfo(const Provider& provider) {
    DWORD size = 0;
    check(CryptExportPublicKeyInfo(provider.get(), AT_SIGNATURE, kEncoding, nullptr, &size),
          "CryptExportPublicKeyInfo");
    std::vector<BYTE> info(size);
    auto* structure = reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(info.data());
    check(CryptExportPublicKeyInfo(provider.get(), AT_SIGNATURE, kEncoding, structure, &size),
          "CryptExportPublicKeyInfo");
    return encoded(X509_PUBLIC_KEY_INFO, structure);
}

// SignedPublicKeyAndChallenge: the SEQUENCE of the key and its IA5String challenge, signed with
// SHA-256, in the shape of a signed certificate (to-be-signed part, algorithm, signature).
std::string signedPublicKeyAndChallenge(const Provider& provider, std::string publicKey,
                                        std::string challenge) {
    CERT_NAME_VALUE challengeValue{CERT_RDN_IA5_STRING, blobOf(challenge)};
    std::string challengeDer = encoded(X509_NAME_VALUE, &challengeValue);
    CRYPT_DER_BLOB parts[] = {blobOf(publicKey), blobOf(challengeDer)};
    CRYPT_SEQUENCE_OF_ANY sequence{2, parts};
    std::string toBeSigned = encoded(X509_SEQUENCE_OF_ANY, &sequence);

    CRYPT_ALGORITHM_IDENTIFIER algorithm{const_cast<char*>(szOID_RSA_SHA256RSA), {}};
    DWORD size = 0;
    const auto* bytes = reinterpret_cast<const BYTE*>(toBeSigned.data());
    check(CryptSignCertificate(provider.get(), AT_SIGNATURE, kEncoding, bytes,
                               static_cast<DWORD>(toBeSigned.size()), &algorithm, nullptr, nullptr,
                               &size),
          "CryptSignCertificate");
    std::vector<BYTE> signature(size);
    check(CryptSignCertificate(provider.get(), AT_SIGNATURE, kEncoding, bytes,
                               static_cast<DWORD>(toBeSigned.size()), &algorithm, nullptr,
                               signature.data(), &size),
          "CryptSignCertificate");
    CERT_SIGNED_CONTENT_INFO signedContent{
        blobOf(toBeSigned), algorithm, {size, signature.data(), 0}};
    return encoded(X509_CERT, &signedContent);
}

std::string base64Of(const std::string& der) {
    const auto* bytes = reinterpret_cast<const BYTE*>(der.data());
    const DWORD flags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
    DWORD size = 0;
    check(CryptBinaryToStringA(bytes, static_cast<DWORD>(der.size()), flags, nullptr, &size),
          "CryptBinaryToString");
    std::string text(size, '\0');
    check(CryptBinaryToStringA(bytes, static_cast<DWORD>(der.size()), flags, text.data(), &size),
          "CryptBinaryToString");
    text.resize(size);
    return text;
}

struct CertificateFree {
    void operator()(PCCERT_CONTEXT certificate) const { CertFreeCertificateContext(certificate); }
};

std::string serialText(const CRYPT_INTEGER_BLOB& serial) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    // Little-endian: the most significant byte comes last.
    for (DWORD index = serial.cbData; index-- > 0;) {
        text += kDigits[serial.pbData[index] >> 4];
        text += kDigits[serial.pbData[index] & 0x0F];
    }
    const std::size_t first = text.find_first_not_of('0');
    return first == std::string::npos ? "0" : text.substr(first);
}

}  // namespace

SignedKeyRequest makeSignedKeyRequest(const std::string& challenge) {
    const Provider provider;
    const SigningKey key(provider);
    std::string publicKey = publicKeyInfo(provider);
    const std::string spkac = signedPublicKeyAndChallenge(provider, publicKey, challenge);
    return {base64Of(spkac), std::move(publicKey)};
}

std::string serialOfCertificateFor(const std::string& pemText, const std::string& publicKey) {
    static constexpr std::string_view kBegin = "-----BEGIN CERTIFICATE-----";
    for (std::size_t begin = pemText.find(kBegin); begin != std::string::npos;
         begin = pemText.find(kBegin, begin + kBegin.size())) {
        DWORD size = 0;
        const DWORD length = static_cast<DWORD>(pemText.size() - begin);
        if (!CryptStringToBinaryA(pemText.data() + begin, length, CRYPT_STRING_BASE64HEADER,
                                  nullptr, &size, nullptr, nullptr))
            continue;
        std::vector<BYTE> der(size);
        check(CryptStringToBinaryA(pemText.data() + begin, length, CRYPT_STRING_BASE64HEADER,
                                   der.data(), &size, nullptr, nullptr),
              "CryptStringToBinary");
        const std::unique_ptr<const CERT_CONTEXT, CertificateFree> certificate(
            CertCreateCertificateContext(kEncoding, der.data(), size));
        if (certificate && encoded(X509_PUBLIC_KEY_INFO,
                                   &certificate->pCertInfo->SubjectPublicKeyInfo) == publicKey)
            return serialText(certificate->pCertInfo->SerialNumber);
    }
    return {};
}

#include "Spkac.h"

#include <memory>
#include <stdexcept>

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

// What a CryptoAPI function writes, asked first for its size: call(nullptr, &size), then into
// the buffer.
template <class Call>
std::string written(const char* step, Call call) {
    DWORD size = 0;
    check(call(nullptr, &size), step);
    std::string bytes(size, '\0');
    check(call(reinterpret_cast<BYTE*>(bytes.data()), &size), step);
    bytes.resize(size);
    return bytes;
}

// Releases a handle at the end of its scope.
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

// SignedPublicKeyAndChallenge: the SEQUENCE of the key and its IA5String challenge, signed with
// SHA-256, in the shape of a signed certificate (to-be-signed part, algorithm, signature).
std::string signedPublicKeyAndChallenge(HCRYPTPROV provider, std::string publicKey,
                                        std::string challenge) {
    CERT_NAME_VALUE challengeValue{CERT_RDN_IA5_STRING, blobOf(challenge)};
    std::string challengeDer = encoded(X509_NAME_VALUE, &challengeValue);
    CRYPT_DER_BLOB parts[] = {blobOf(publicKey), blobOf(challengeDer)};
    CRYPT_SEQUENCE_OF_ANY sequence{2, parts};
    std::string toBeSigned = encoded(X509_SEQUENCE_OF_ANY, &sequence);
    CRYPT_ALGORITHM_IDENTIFIER algorithm{const_cast<char*>(szOID_RSA_SHA256RSA), {}};
    std::string signature = written("CryptSignCertificate", [&](BYTE* out, DWORD* size) {
        return CryptSignCertificate(
            provider, AT_SIGNATURE, kEncoding, reinterpret_cast<const BYTE*>(toBeSigned.data()),
            static_cast<DWORD>(toBeSigned.size()), &algorithm, nullptr, out, size);
    });
    CERT_SIGNED_CONTENT_INFO signedContent{blobOf(toBeSigned), algorithm, {}};
    signedContent.Signature = {static_cast<DWORD>(signature.size()),
                               reinterpret_cast<BYTE*>(signature.data()), 0};
    return encoded(X509_CERT, &signedContent);
}

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
    HCRYPTPROV provider = 0;
    check(CryptAcquireContextW(&provider, nullptr, MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES,
                               CRYPT_VERIFYCONTEXT),
          "CryptAcquireContext");
    const Finally releaseProvider{[provider] { CryptReleaseContext(provider, 0); }};
    HCRYPTKEY key = 0;
    check(CryptGenKey(provider, AT_SIGNATURE, kKeyBits << 16, &key), "CryptGenKey");
    const Finally destroyKey{[key] { CryptDestroyKey(key); }};
    const std::string info = written("CryptExportPublicKeyInfo", [&](BYTE* out, DWORD* size) {
        return CryptExportPublicKeyInfo(provider, AT_SIGNATURE, kEncoding,
                                        reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(out), size);
    });
    std::string publicKey =
        encoded(X509_PUBLIC_KEY_INFO, reinterpret_cast<const CERT_PUBLIC_KEY_INFO*>(info.data()));
    const std::string spkac = signedPublicKeyAndChallenge(provider, publicKey, challenge);
    return {written("CryptBinaryToString",
                    [&](BYTE* out, DWORD* size) {
                        return CryptBinaryToStringA(reinterpret_cast<const BYTE*>(spkac.data()),
                                                    static_cast<DWORD>(spkac.size()),
                                                    CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF,
                                                    reinterpret_cast<char*>(out), size);
                    }),
            std::move(publicKey)};
}

std::string serialOfCertificateFor(const std::string& pemText, const std::string& publicKey) {
    static constexpr std::string_view kBegin = "-----BEGIN CERTIFICATE-----";
    for (std::size_t begin = pemText.find(kBegin); begin != std::string::npos;
         begin = pemText.find(kBegin, begin + kBegin.size())) {
        const auto decode = [&](BYTE* out, DWORD* size) {
            return CryptStringToBinaryA(pemText.data() + begin,
                                        static_cast<DWORD>(pemText.size() - begin),
                                        CRYPT_STRING_BASE64HEADER, out, size, nullptr, nullptr);
        };
        DWORD size = 0;
        if (!decode(nullptr, &size)) continue;
        const std::string der = written("CryptStringToBinary", decode);
        const std::unique_ptr<const CERT_CONTEXT, decltype(&CertFreeCertificateContext)>
            certificate(
                CertCreateCertificateContext(kEncoding, reinterpret_cast<const BYTE*>(der.data()),
                                             static_cast<DWORD>(der.size())),
                CertFreeCertificateContext);
        if (certificate && encoded(X509_PUBLIC_KEY_INFO,
                                   &certificate->pCertInfo->SubjectPublicKeyInfo) == publicKey)
            return serialText(certificate->pCertInfo->SerialNumber);
    }
    return {};
}

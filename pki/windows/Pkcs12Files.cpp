#include "Pkcs12Files.h"

#include "CngPrimitives.h"
#include "DerWriter.h"
#include "PrivateKeyInfo.h"
#include "SystemFailure.h"
#include "SystemFiles.h"

namespace {

constexpr const char* kData = "1.2.840.113549.1.7.1";
constexpr const char* kShroudedKeyBag = "1.2.840.113549.1.12.10.1.2";
constexpr const char* kCertBag = "1.2.840.113549.1.12.10.1.3";
constexpr const char* kX509Certificate = "1.2.840.113549.1.9.22.1";
constexpr const char* kLocalKeyId = "1.2.840.113549.1.9.21";
constexpr const char* kSha256 = "2.16.840.1.101.3.4.2.1";
constexpr unsigned long kMacIterations = 2048;

std::string encodedOf(PCCERT_CONTEXT certificate) {
    return std::string(reinterpret_cast<const char*>(certificate->pbCertEncoded),
                       certificate->cbCertEncoded);
}

// The password as PKCS#12 feeds it to its key derivation: UTF-16 big-endian ending in a zero.
std::string bmpPassword(const std::string& password) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, password.data(),
                                           static_cast<int>(password.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, password.data(), static_cast<int>(password.size()), wide.data(),
                        length);
    std::string bytes;
    for (const wchar_t c : wide + L'\0')
        bytes += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
    return bytes;
}

// PKCS#12's own derivation of the MAC key (RFC 7292, appendix B) with SHA-256, whose 32 bytes
// are one block: the hash, iterated, of 64 bytes of the purpose 3 and the salt and password
// each repeated to a multiple of 64 bytes.
std::string macKey(const std::string& password, const std::string& salt) {
    const auto filled = [](const std::string& bytes) {
        std::string out;
        while (out.size() < (bytes.size() + 63) / 64 * 64) out += bytes;
        return out.substr(0, (bytes.size() + 63) / 64 * 64);
    };
    const SecretBytes bmp{bmpPassword(password)};
    std::string block = sha256(std::string(64, '\3') + filled(salt) + filled(bmp.bytes));
    for (unsigned long round = 1; round < kMacIterations; ++round) block = sha256(block);
    return block;
}

std::string attributes(const std::string& keyId) {
    return der::set(
        {der::sequence({der::objectId(kLocalKeyId), der::set({der::octetString(keyId)})})});
}

std::string certificateBag(PCCERT_CONTEXT certificate, const std::string& extra) {
    const std::string bag =
        der::sequence({der::objectId(kX509Certificate),
                       der::context(0, der::octetString(encodedOf(certificate)))});
    return der::sequence({der::objectId(kCertBag), der::context(0, bag), extra});
}

// The exportable key that the certificate is linked to.
SecretBytes linkedPrivateKeyInfo(PCCERT_CONTEXT certificate) {
    HCRYPTPROV_OR_NCRYPT_KEY_HANDLE handle = 0;
    DWORD keySpec = 0;
    BOOL mustFree = FALSE;
    checkSystem(CryptAcquireCertificatePrivateKey(certificate, CRYPT_ACQUIRE_SILENT_FLAG, nullptr,
                                                  &handle, &keySpec, &mustFree),
                "finding the certificate's private key");
    // The system hands out the certificate's cached provider or one of the caller's to release.
    const CryptProvider provider(mustFree ? handle : 0);
    CryptKey key;
    checkSystem(CryptGetUserKey(handle, keySpec, key.put()), "opening the certificate's key");
    return privateKeyInfo(key.get());
}

}  // namespace

void exportPkcs12(const std::filesystem::path& path, PCCERT_CONTEXT certificate,
                  const std::string& password, const std::vector<PCCERT_CONTEXT>& chain) {
    if (password.empty())
        throw PkiFailure(E_INVALIDARG, "a PKCS#12 file is not written without a password");
    const SecretBytes keyInfo = linkedPrivateKeyInfo(certificate);
    // The key and its certificate find each other by this identifier, as OpenSSL marks them.
    std::string keyId(20, '\0');
    DWORD keyIdSize = 20;
    checkSystem(CertGetCertificateContextProperty(certificate, CERT_SHA1_HASH_PROP_ID, keyId.data(),
                                                  &keyIdSize),
                "hashing the certificate");
    const std::string keyBag = der::sequence(
        {der::objectId(kShroudedKeyBag),
         der::context(0, encryptedPrivateKeyInfo(keyInfo.bytes, password)), attributes(keyId)});
    std::string bags = keyBag + certificateBag(certificate, attributes(keyId));
    for (PCCERT_CONTEXT above : chain) bags += certificateBag(above, {});
    const std::string safeContents = der::element(0x30, bags);
    const std::string authenticatedSafe = der::sequence(
        {der::sequence({der::objectId(kData), der::context(0, der::octetString(safeContents))})});
    const std::string salt = randomBytes(16);
    const std::string mac = hmacSha256(macKey(password, salt), authenticatedSafe);
    const std::string pfx = der::sequence(
        {der::integer(3),
         der::sequence(
             {der::objectId(kData), der::context(0, der::octetString(authenticatedSafe))}),
         der::sequence({der::sequence({der::sequence({der::objectId(kSha256), der::null()}),
                                       der::octetString(mac)}),
                        der::octetString(salt), der::integer(kMacIterations)})});
    writeFileAtomically(path, pfx);
}

CertStore importPkcs12(const std::filesystem::path& path, const std::string& password) {
    std::string bytes = readFileBytes(path);
    CRYPT_DATA_BLOB blob{static_cast<DWORD>(bytes.size()), reinterpret_cast<BYTE*>(bytes.data())};
    if (!PFXIsPFXBlob(&blob))
        throw PkiFailure(E_INVALIDARG, path.string() + " is not a PKCS#12 file");
    const int length = MultiByteToWideChar(CP_UTF8, 0, password.c_str(), -1, nullptr, 0);
    std::wstring widePassword(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, password.c_str(), -1, widePassword.data(), length);
    CertStore store(
        PFXImportCertStore(&blob, widePassword.c_str(), CRYPT_EXPORTABLE | CRYPT_USER_KEYSET));
    SecureZeroMemory(widePassword.data(), widePassword.size() * sizeof(wchar_t));
    if (store) return store;
    // Windows reports a wrong password as such; Wine sets no error at all, or "not found", and
    // its PFXVerifyPassword is a stub that cannot tell.
    const DWORD error = GetLastError();
    if (error == ERROR_SUCCESS || error == static_cast<DWORD>(CRYPT_E_NOT_FOUND) ||
        error == ERROR_INVALID_PASSWORD)
        throw PkiFailure(HRESULT_FROM_WIN32(ERROR_INVALID_PASSWORD),
                         "the password does not open " + path.string());
    SetLastError(error);
    failSystem("importing " + path.string());
}

// The Windows PKI's file formats and checks over Wine's cryptography, against files OpenSSL made
// (make_pki_files.sh): what it reads, what it refuses with which result, and files it writes for
// OpenSSL to read back (openssl_reads.sh).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <velPKI/velPKI.h>

#include "DerWriter.h"
#include "EncryptedKeyFile.h"
#include "PemBundle.h"
#include "Pkcs12Files.h"
#include "PkiFailure.h"
#include "SystemFiles.h"
#include "SystemVerification.h"

namespace {

std::filesystem::path file(const std::string& name) {
    return std::filesystem::path(VEL_PKI_FILES) / name;
}

template <class Call>
HRESULT resultOf(Call call) {
    try {
        call();
        return S_OK;
    } catch (const PkiFailure& failure) {
        EXPECT_FALSE(std::string(failure.what()).empty());
        return failure.code();
    }
}

CertContext certificate(const std::string& name) {
    return std::move(readCertificatesAndLists(file(name)).certificates.at(0));
}

CrlContext list(const std::string& name) {
    return std::move(readCertificatesAndLists(file(name)).lists.at(0));
}

TEST(PemBundleTest, ReadsPemBlocksAndDerAndRefusesWhatIsNotThere) {
    struct Case {
        const char* name;
        size_t certificates;
        size_t lists;
        HRESULT result;
    };
    const Case cases[] = {
        {"bundle.pem", 3, 1, S_OK},
        {"leaf.der", 1, 0, S_OK},
        {"anchor.crl.der", 0, 1, S_OK},
        {"missing.pem", 0, 0, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
        {"broken-base64.pem", 0, 0, E_INVALIDARG},
        {"garbage.der", 0, 0, E_INVALIDARG},
        {"leaf.key", 0, 0, E_INVALIDARG},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.name);
        CertificatesAndLists found;
        EXPECT_EQ(resultOf([&] { found = readCertificatesAndLists(file(each.name)); }),
                  each.result);
        EXPECT_EQ(found.certificates.size(), each.certificates);
        EXPECT_EQ(found.lists.size(), each.lists);
    }
}

TEST(PemBundleTest, WritesPemAsOpenSslDoesAndReplacesFilesWhole) {
    const std::filesystem::path written = file("written.pem");
    writeTextFile(written, "an older content that is longer than the new one\n");
    const CertContext leaf = certificate("leaf.der");
    writeTextFile(written, certificatePem(leaf.get()));
    EXPECT_EQ(readFileBytes(written), readFileBytes(file("leaf.pem")));
    EXPECT_FALSE(std::filesystem::exists(file("written.pem.partial")));
    EXPECT_EQ(resultOf([&] { writeTextFile(file("no-such-directory/x.pem"), "x"); }),
              HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
}

TEST(SystemVerificationTest, CertificatesChainOnlyToTheirAnchor) {
    struct Case {
        const char* certificate;
        const char* anchor;
        std::vector<const char*> extra;
        HRESULT result;
    };
    const Case cases[] = {
        {"leaf.pem", "anchor.pem", {}, S_OK},
        {"anchor.pem", "anchor.pem", {}, S_OK},
        {"deep.pem", "anchor.pem", {"intermediate.pem"}, S_OK},
        {"deep.pem", "intermediate.pem", {}, S_OK},
        {"deep.pem", "anchor.pem", {}, VELPKI_E_UNTRUSTED},
        {"leaf.pem", "stranger.pem", {"anchor.pem"}, VELPKI_E_UNTRUSTED},
        {"forged.pem", "anchor.pem", {}, VELPKI_E_UNTRUSTED},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(std::string(each.certificate) + " under " + each.anchor);
        std::vector<CertContext> extra;
        std::vector<PCCERT_CONTEXT> extraPointers;
        for (const char* name : each.extra) {
            extra.push_back(certificate(name));
            extraPointers.push_back(extra.back().get());
        }
        EXPECT_EQ(resultOf([&] {
                      requireChainedToAnchor(certificate(each.certificate).get(),
                                             certificate(each.anchor).get(), extraPointers);
                  }),
                  each.result);
    }
}

TEST(SystemVerificationTest, ListsMustBeTheAnchorsSignedAndCurrent) {
    const std::pair<const char*, HRESULT> cases[] = {
        {"anchor.crl", S_OK},
        {"stranger.crl", VELPKI_E_UNTRUSTED},
        {"forged.crl", VELPKI_E_BAD_SIGNATURE},
        {"expired.crl", VELPKI_E_EXPIRED},
    };
    const CertContext anchor = certificate("anchor.pem");
    for (const auto& [name, result] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(resultOf([&] { requireListFromAnchor(list(name).get(), anchor.get()); }), result);
    }
}

TEST(SystemVerificationTest, RevokedOnlyByTheListsOfItsIssuer) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"leaf.pem", "anchor.crl", true},
        {"kept.pem", "anchor.crl", false},
        {"leaf.pem", "stranger.crl", false},
    };
    for (const auto& [name, listName, revoked] : cases) {
        SCOPED_TRACE(std::string(name) + " in " + listName);
        EXPECT_EQ(isRevoked(certificate(name).get(), {list(listName).get()}), revoked);
    }
}

TEST(SystemVerificationTest, FingerprintsAsOpenSslComputesAndUsersWriteThem) {
    const std::string expected = readFileBytes(file("anchor.fingerprint"));
    EXPECT_EQ(sha256Fingerprint(certificate("anchor.pem").get()), expected);
    std::string withColons = "sha256:";
    for (size_t index = 0; index < expected.size(); index += 2)
        withColons += expected.substr(index, 2) + (index + 2 < expected.size() ? ":" : "");
    std::string lower = expected;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::pair<std::string, HRESULT> cases[] = {
        {expected, S_OK},
        {withColons, S_OK},
        {"SHA256:" + lower, S_OK},
        {expected.substr(2), E_INVALIDARG},
        {expected.substr(1) + "G", E_INVALIDARG},
        {"SHA1:" + expected, E_INVALIDARG},
    };
    for (const auto& [text, result] : cases) {
        SCOPED_TRACE(text);
        std::string digits;
        EXPECT_EQ(resultOf([&] { digits = parseFingerprint(text); }), result);
        EXPECT_EQ(digits, result == S_OK ? expected : "");
    }
}

TEST(DerWriterTest, EncodesAsDerDemands) {
    const std::pair<std::string, std::string> cases[] = {
        {der::objectId("1.2.840.113549.1.1.1"), "\x06\x09\x2A\x86\x48\x86\xF7\x0D\x01\x01\x01"},
        {der::integer(0), std::string("\x02\x01\x00", 3)},
        {der::integer(100000), "\x02\x03\x01\x86\xA0"},
        {der::unsignedInteger(std::string("\x00\x00\x80", 3)), std::string("\x02\x02\x00\x80", 4)},
        {der::octetString(std::string(200, 'x')), "\x04\x81\xC8" + std::string(200, 'x')},
        {der::context(0, der::null()), std::string("\xA0\x02\x05\x00", 4)},
    };
    for (const auto& [encoded, expected] : cases) EXPECT_EQ(encoded, expected);
}

// A key pair in an rsaenh container of its own, as the component keeps them, and a certificate
// of it linked to the container. openssl_reads.sh checks the files written from them.
class KeyFilesTest : public testing::Test {
protected:
    static constexpr wchar_t kContainer[] = L"velPKI formats test";
    static constexpr const char* kPassword = "right horse";

    void SetUp() override {
        HCRYPTPROV handle = 0;
        CryptAcquireContextW(&handle, kContainer, MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES,
                             CRYPT_DELETEKEYSET);
        ASSERT_TRUE(CryptAcquireContextW(m_provider.put(), kContainer, MS_ENH_RSA_AES_PROV_W,
                                         PROV_RSA_AES, CRYPT_NEWKEYSET));
        ASSERT_TRUE(CryptGenKey(m_provider.get(), AT_KEYEXCHANGE, (2048 << 16) | CRYPT_EXPORTABLE,
                                m_key.put()));
        // rsaenh keeps a new key for other handles once its own are given back.
        m_key.reset();
        m_provider.reset();
        BYTE name[64];
        DWORD nameSize = sizeof name;
        ASSERT_TRUE(CertStrToNameA(X509_ASN_ENCODING, "CN=written", CERT_X500_NAME_STR, nullptr,
                                   name, &nameSize, nullptr));
        CERT_NAME_BLOB subject{nameSize, name};
        CRYPT_KEY_PROV_INFO link{};
        link.pwszContainerName = const_cast<wchar_t*>(kContainer);
        link.pwszProvName = const_cast<wchar_t*>(MS_ENH_RSA_AES_PROV_W);
        link.dwProvType = PROV_RSA_AES;
        link.dwKeySpec = AT_KEYEXCHANGE;
        m_certificate.reset(CertCreateSelfSignCertificate(0, &subject, 0, &link, nullptr, nullptr,
                                                          nullptr, nullptr));
        ASSERT_TRUE(m_certificate);
        ASSERT_TRUE(CryptAcquireContextW(m_provider.put(), kContainer, MS_ENH_RSA_AES_PROV_W,
                                         PROV_RSA_AES, 0));
        ASSERT_TRUE(CryptGetUserKey(m_provider.get(), AT_KEYEXCHANGE, m_key.put()));
    }

    CryptProvider m_provider;
    CryptKey m_key;
    CertContext m_certificate;
};

TEST_F(KeyFilesTest, WritesKeysOnlyUnderAPassword) {
    const std::pair<const char*, HRESULT> cases[] = {{"", E_INVALIDARG}, {kPassword, S_OK}};
    for (const auto& [password, result] : cases) {
        SCOPED_TRACE(password);
        std::filesystem::remove(file("written.key"));
        EXPECT_EQ(resultOf([&] { writeEncryptedKey(file("written.key"), m_key.get(), password); }),
                  result);
        EXPECT_EQ(std::filesystem::exists(file("written.key")), result == S_OK);
    }
    writeTextFile(file("written-cert.pem"), certificatePem(m_certificate.get()));
}

TEST_F(KeyFilesTest, Pkcs12FilesGoOutAndComeBackWithTheirKey) {
    const CertContext anchor = certificate("anchor.pem");
    EXPECT_EQ(
        resultOf([&] { exportPkcs12(file("empty.p12"), m_certificate.get(), "", {anchor.get()}); }),
        E_INVALIDARG);
    EXPECT_EQ(resultOf([&] { exportPkcs12(file("keyless.p12"), anchor.get(), kPassword, {}); }),
              CRYPT_E_NO_KEY_PROPERTY);
    exportPkcs12(file("written.p12"), m_certificate.get(), kPassword, {anchor.get()});
    const std::tuple<const char*, const char*, HRESULT> cases[] = {
        {"written.p12", kPassword, S_OK},
        {"openssl.p12", kPassword, S_OK},
        {"written.p12", "wrong horse", HRESULT_FROM_WIN32(ERROR_INVALID_PASSWORD)},
        {"leaf.der", kPassword, E_INVALIDARG},
    };
    for (const auto& [name, password, result] : cases) {
        SCOPED_TRACE(std::string(name) + " with " + password);
        CertStore store;
        EXPECT_EQ(resultOf([&] { store = importPkcs12(file(name), password); }), result);
        if (result != S_OK) continue;
        PCCERT_CONTEXT imported = CertEnumCertificatesInStore(store.get(), nullptr);
        ASSERT_NE(imported, nullptr);
        const CertContext owner(imported);
        DWORD size = 0;
        EXPECT_TRUE(CertGetCertificateContextProperty(imported, CERT_KEY_PROV_INFO_PROP_ID, nullptr,
                                                      &size));
    }
}

}  // namespace

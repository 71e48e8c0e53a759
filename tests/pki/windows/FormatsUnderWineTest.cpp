// The Windows PKI's file formats and checks over Wine's cryptography, against files OpenSSL made
// (make_pki_files.sh): what it reads, what it refuses with which result, and files it writes for
// OpenSSL to read back (openssl_reads.sh).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <velPKI/velPKI.h>

#include "PemBundle.h"
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
        {"bundle.pem", 2, 1, S_OK},
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

}  // namespace

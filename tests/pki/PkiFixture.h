// A throwaway authority made with OpenSSL for the whole suite (and a foreign one of the same
// name), and for each test a store of its own in a fresh directory, opened through a new
// component object each time it is reopened.
#pragma once

#include <stdlib.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <openssl/pem.h>

#include "AutomationValues.h"
#include "DerText.h"
#include "Keys.h"
#include "PkiClass.h"
#include "ca/Authority.h"
#include "text/AnsiText.h"
#include "velPKI.h"

class PkiTest : public ::testing::Test {
protected:
    // The reference authority issues the suite's certificates and revocation lists.
    static void SetUpTestSuite() {
        std::string made = std::filesystem::temp_directory_path() / "velpki-ca-XXXXXX";
        ASSERT_NE(mkdtemp(made.data()), nullptr);
        s_authorityDirectory = made;
        ca::Authority::create(s_authorityDirectory, std::time(nullptr));
        s_authority = std::make_unique<ca::Authority>(s_authorityDirectory);
        s_ca = s_authority->certificate();
        ca::Authority::create(s_authorityDirectory / "foreign", std::time(nullptr));
        s_foreign = std::make_unique<ca::Authority>(s_authorityDirectory / "foreign");
    }
    static void TearDownTestSuite() {
        s_authority.reset();
        s_foreign.reset();
        std::filesystem::remove_all(s_authorityDirectory);
    }
    void SetUp() override {
        std::string made = std::filesystem::temp_directory_path() / "velpki-XXXXXX";
        ASSERT_NE(mkdtemp(made.data()), nullptr);
        directory = made;
        reopen();
    }
    void TearDown() override {
        pki.reset();
        pkiStore.reset();
        std::filesystem::remove_all(directory);
    }

    void reopen() {
        pki.reset();
        pkiStore.reset();
        ASSERT_EQ(createPkiObject(nullptr, IID_ISMPrivateKeyInfrastructure, pki.putVoid()), S_OK);
        ASSERT_EQ(pki.as(pkiStore), S_OK);
        ASSERT_EQ(pkiStore->Open(toBstr(storePath()).get()), S_OK);
    }
    std::string storePath() const { return (directory / "store.db").string(); }
    std::string path(const char* name) const { return (directory / name).string(); }

    static std::string hex(long number) {
        char text[24];
        std::snprintf(text, sizeof text, "%lX", number);
        return text;
    }
    // The certificate the authority issues for a request's Base64 SPKAC, valid from a day ago for
    // `days` days.
    static X509Owner issue(const std::string& spkac, long serial, long days = 365,
                           const ca::Authority* by = s_authority.get()) {
        const SpkiOwner request(NETSCAPE_SPKI_b64_decode(spkac.c_str(), -1));
        const KeyOwner key(NETSCAPE_SPKI_get_pubkey(request.get()));
        const ca::Applicant applicant{0,         "",   "Eva", "Muster", "eva@example.org",
                                      "Tessera", "DE", "",    ""};
        const std::time_t now = std::time(nullptr);
        return X509Owner(by->issue(applicant, key.get(), hex(serial), now - 86400,
                                   now + 86400 * days, "http://127.0.0.1:8480")
                             .release());
    }
    // A week's list from `now` on.
    static std::string revocationList(long revokedSerial, std::time_t now = std::time(nullptr),
                                      const ca::Authority* by = s_authority.get()) {
        return by->revocationList({{hex(revokedSerial), now}}, 1, now);
    }

    // As the proxy writes a value: one line of Base64 between the label's marker lines.
    std::string writePem(const char* name, const std::string& label, const std::string& der) {
        const std::string file = path(name);
        std::ofstream(file, std::ios::binary)
            << "-----BEGIN " << label << "-----\r\n"
            << toBase64(der) << "\r\n-----END " << label << "-----\r\n";
        return file;
    }

    // A new request for the challenge, with an EC key unless another key type is asked for.
    velcom::ComPtr<ISMRequest> createRequest(const char* password,
                                             const char* keyType = "keytype=EC") {
        std::vector<std::string> texts{"challenge=c-1"};
        if (*keyType != '\0') texts.emplace_back(keyType);
        velcom::Variant attributes;
        putTexts(attributes.get(), texts);
        velcom::ComPtr<ISMRequest> request;
        EXPECT_EQ(pki->CreateRequest(SMRequestSPKAC, toBstr(password).get(), *attributes.get(),
                                     request.put()),
                  S_OK);
        return request;
    }
    static std::string textOfRequest(ISMRequest* request) {
        velcom::Variant text;
        EXPECT_EQ(request->AsBinaryString(1, text.put()), S_OK);
        return bytesOf(*text.get());
    }
    std::vector<std::string> openReferences() {
        velcom::Variant references;
        EXPECT_EQ(pki->GetOpenRequests(references.put()), S_OK);
        return textsOf(*references.get());
    }
    // Whether the certificate's key, opened with its password and written out encrypted, reads
    // back as the key of `issued`: 1 when it does.
    int exportedKeyMatches(LONG id, const char* password, X509* issued) {
        velcom::ComPtr<ISMAsymKey> key;
        EXPECT_EQ(pki->FindKey(id, key.put()), S_OK);
        if (!key) return -2;
        EXPECT_EQ(key->Decrypt(toBstr(password).get()), S_OK);
        EXPECT_EQ(pki->ExportKey(toBstr(path("key.pem")).get(), toBstr("export").get(),
                                 SMFormatRawKey, SMEncodingPEM, key.get()),
                  S_OK);
        const BioOwner file(BIO_new_file(path("key.pem").c_str(), "rb"));
        const KeyOwner exported(
            PEM_read_bio_PrivateKey(file.get(), nullptr, nullptr, const_cast<char*>("export")));
        return exported ? EVP_PKEY_eq(exported.get(), X509_get0_pubkey(issued)) : -3;
    }
    // The stored certificate's serial number and Base64.
    std::pair<std::string, std::string> storedCertificate(LONG id) {
        velcom::ComPtr<ISMCertificate> certificate;
        velcom::Bstr serial;
        velcom::Variant base64;
        EXPECT_EQ(pki->GetCertificate(id, certificate.put()), S_OK);
        if (!certificate) return {"", "no certificate"};
        EXPECT_EQ(certificate->get_Serial(serial.put()), S_OK);
        EXPECT_EQ(certificate->AsBinaryString(1, base64.put()), S_OK);
        return {toAnsi(serial.get()), bytesOf(*base64.get())};
    }
    HRESULT importFile(const std::string& file) {
        velcom::ComPtr<ISMCertificateList> certificates;
        velcom::ComPtr<ISMCRLList> lists;
        const HRESULT loaded = pki->Load(toBstr(file).get(), certificates.put(), lists.put());
        return FAILED(loaded) ? loaded : pki->Import(certificates.get(), lists.get());
    }
    // What the openssl command prints for the arguments, when it succeeds.
    std::string openssl(const std::string& arguments) {
        const std::string output = path("openssl.txt");
        EXPECT_EQ(std::system(("openssl " + arguments + " >" + output + " 2>&1").c_str()), 0);
        std::ifstream file(output);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    static std::string lastError() {
        velcom::ComPtr<IErrorInfo> info;
        if (GetErrorInfo(0, info.put()) != S_OK) return "";
        velcom::Bstr description;
        info->GetDescription(description.put());
        return toAnsi(description.get());
    }

    static inline std::filesystem::path s_authorityDirectory;
    static inline std::unique_ptr<ca::Authority> s_authority, s_foreign;
    static inline X509* s_ca = nullptr;
    std::filesystem::path directory;
    velcom::ComPtr<ISMPrivateKeyInfrastructure> pki;
    velcom::ComPtr<IvelPKIStore> pkiStore;
};

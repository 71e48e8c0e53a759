// A throwaway authority made with OpenSSL for the whole suite, and for each test a store of its
// own in a fresh directory, opened through a new component object each time it is reopened.
#pragma once

#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include "AutomationValues.h"
#include "DerText.h"
#include "Keys.h"
#include "text/AnsiText.h"
#include "velPKI.h"

class PkiTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_caKey = generateKey(KeyAlgorithm::EcP256).release();
        s_ca = signedCertificate("Test CA", s_caKey, 1, true).release();
    }
    static void TearDownTestSuite() {
        X509_free(s_ca);
        EVP_PKEY_free(s_caKey);
    }
    void SetUp() override {
        std::string made = std::filesystem::temp_directory_path() / "velpki-XXXXXX";
        ASSERT_NE(mkdtemp(made.data()), nullptr);
        directory = made;
        reopen();
    }
    void TearDown() override {
        pki.reset();
        std::filesystem::remove_all(directory);
    }

    void reopen() {
        pki.reset();
        ASSERT_EQ(CvelPKI::create(nullptr, IID_ISMPrivateKeyInfrastructure, pki.putVoid()), S_OK);
        velcom::ComPtr<IvelPKIStore> store;
        ASSERT_EQ(pki.as(store), S_OK);
        ASSERT_EQ(store->Open(toBstr(storePath()).get()), S_OK);
    }
    std::string storePath() const { return (directory / "store.db").string(); }
    std::string path(const char* name) const { return (directory / name).string(); }

    // A certificate for key, issued by the suite's authority (or self-signed for the authority),
    // valid from a day ago for `days` days.
    static X509Owner signedCertificate(const std::string& name, EVP_PKEY* key, long serial,
                                       bool authority, long days = 365) {
        X509Owner certificate(X509_new());
        X509_set_version(certificate.get(), 2);
        ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), serial);
        X509_NAME* subject = X509_get_subject_name(certificate.get());
        X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(name.c_str()), -1, -1, 0);
        X509_set_issuer_name(certificate.get(), authority ? subject : X509_get_subject_name(s_ca));
        X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -86400);
        X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 86400 * days);
        X509_set_pubkey(certificate.get(), key);
        if (authority) {
            X509_EXTENSION* extension =
                X509V3_EXT_conf_nid(nullptr, nullptr, NID_basic_constraints, "critical,CA:TRUE");
            X509_add_ext(certificate.get(), extension, -1);
            X509_EXTENSION_free(extension);
        }
        X509_sign(certificate.get(), authority ? key : s_caKey, EVP_sha256());
        return certificate;
    }

    // The certificate the authority issues for a request's Base64 SPKAC.
    static X509Owner issue(const std::string& spkac, long serial, long days = 365) {
        const SpkiOwner request(NETSCAPE_SPKI_b64_decode(spkac.c_str(), -1));
        const KeyOwner key(NETSCAPE_SPKI_get_pubkey(request.get()));
        return signedCertificate("Eva Muster", key.get(), serial, false, days);
    }

    static CrlOwner revocationList(long revokedSerial) {
        CrlOwner list(X509_CRL_new());
        X509_CRL_set_version(list.get(), 1);
        X509_CRL_set_issuer_name(list.get(), X509_get_subject_name(s_ca));
        const OpenSslOwner<ASN1_TIME, ASN1_TIME_free> now(X509_gmtime_adj(nullptr, -60));
        const OpenSslOwner<ASN1_TIME, ASN1_TIME_free> next(X509_gmtime_adj(nullptr, 86400));
        X509_CRL_set1_lastUpdate(list.get(), now.get());
        X509_CRL_set1_nextUpdate(list.get(), next.get());
        X509_REVOKED* entry = X509_REVOKED_new();
        ASN1_INTEGER* number = ASN1_INTEGER_new();
        ASN1_INTEGER_set(number, revokedSerial);
        X509_REVOKED_set_serialNumber(entry, number);
        ASN1_INTEGER_free(number);
        X509_REVOKED_set_revocationDate(entry, now.get());
        X509_CRL_add0_revoked(list.get(), entry);
        X509_CRL_sort(list.get());
        X509_CRL_sign(list.get(), s_caKey, EVP_sha256());
        return list;
    }

    // As the proxy writes a value: one line of Base64 between the label's marker lines.
    std::string writePem(const char* name, const std::string& label, const std::string& der) {
        const std::string file = path(name);
        std::ofstream(file, std::ios::binary)
            << "-----BEGIN " << label << "-----\r\n"
            << toBase64(der) << "\r\n-----END " << label << "-----\r\n";
        return file;
    }

    // A new request for the challenge, with an EC key unless RSA is asked for.
    velcom::ComPtr<ISMRequest> createRequest(const char* password, bool rsa = false) {
        velcom::Variant attributes;
        putTexts(attributes.get(), {"challenge=c-1", rsa ? "keytype=RSA" : "keytype=EC"});
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
    std::pair<long, std::string> storedCertificate(LONG id) {
        velcom::ComPtr<ISMCertificate> certificate;
        velcom::Bstr serial;
        velcom::Variant base64;
        EXPECT_EQ(pki->GetCertificate(id, certificate.put()), S_OK);
        if (!certificate) return {-1, "no certificate"};
        EXPECT_EQ(certificate->get_Serial(serial.put()), S_OK);
        EXPECT_EQ(certificate->AsBinaryString(1, base64.put()), S_OK);
        return {std::stol(toAnsi(serial.get()), nullptr, 16), bytesOf(*base64.get())};
    }
    static std::string lastError() {
        velcom::ComPtr<IErrorInfo> info;
        if (GetErrorInfo(0, info.put()) != S_OK) return "";
        velcom::Bstr description;
        info->GetDescription(description.put());
        return toAnsi(description.get());
    }

    static inline X509* s_ca = nullptr;
    static inline EVP_PKEY* s_caKey = nullptr;
    std::filesystem::path directory;
    velcom::ComPtr<ISMPrivateKeyInfrastructure> pki;
};

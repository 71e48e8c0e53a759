// The component's calls with real keys, requests, certificates and revocation lists, the store
// closed and reopened between the steps.
#include <openssl/pkcs7.h>

#include <atomic>
#include <thread>

#include "PkiFixture.h"
#include "PkiStore.h"

namespace {

TEST_F(PkiTest, ARequestStaysOpenAcrossReopensAndMovesToItsFinalReference) {
    const auto request = createRequest("secret", true);
    const SpkiOwner spki(NETSCAPE_SPKI_b64_decode(textOfRequest(request.get()).c_str(), -1));
    ASSERT_TRUE(spki);
    const KeyOwner key(NETSCAPE_SPKI_get_pubkey(spki.get()));
    EXPECT_EQ(NETSCAPE_SPKI_verify(spki.get(), key.get()), 1);
    EXPECT_EQ(EVP_PKEY_get_bits(key.get()), 2048);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(spki->spkac->challenge->data)), "c-1");

    ASSERT_EQ(pki->AddRequest(request.get(), toBstr("1700000000").get()), S_OK);
    // Keys and open requests are the owner's alone, in the store and in its companions.
    for (const char* suffix : {"", "-wal", "-shm"}) {
        SCOPED_TRACE(suffix);
        EXPECT_EQ(static_cast<int>(std::filesystem::status(storePath() + suffix).permissions()),
                  0600);
    }
    reopen();
    EXPECT_EQ(openReferences(), std::vector<std::string>{"1700000000"});
    ASSERT_EQ(pki->AddRequest(request.get(), toBstr("4711").get()), S_OK);
    reopen();
    EXPECT_EQ(openReferences(), std::vector<std::string>{"4711"});
}

TEST_F(PkiTest, AnIssuedCertificateIsImportedUnderEachLabelAndItsKeyExportedUnderItsPassword) {
    const auto pkcs7Of = [](X509* issued) {
        const Pkcs7Owner bundle(PKCS7_new());
        PKCS7_set_type(bundle.get(), NID_pkcs7_signed);
        PKCS7_content_new(bundle.get(), NID_pkcs7_data);
        PKCS7_add_certificate(bundle.get(), s_ca);
        PKCS7_add_certificate(bundle.get(), issued);
        unsigned char* der = nullptr;
        const int length = i2d_PKCS7(bundle.get(), &der);
        std::string bytes(reinterpret_cast<char*>(der), static_cast<std::size_t>(length));
        OPENSSL_free(der);
        return bytes;
    };
    long serial = 100;
    // Each label as the reference of the import; the last with none, to find it by its key.
    for (const std::string reference : {"CERTIFICATE", "X509 CRL", "PKCS7", ""}) {
        SCOPED_TRACE(reference);
        const std::string label = reference.empty() ? "CERTIFICATE" : reference;
        const auto request = createRequest("secret");
        ASSERT_EQ(pki->AddRequest(request.get(), toBstr(label).get()), S_OK);
        const X509Owner issued = issue(textOfRequest(request.get()), ++serial);
        const std::string file =
            writePem("data.pem", label,
                     label == "PKCS7" ? pkcs7Of(issued.get()) : certificateDer(issued.get()));
        reopen();
        velcom::ComPtr<ISMPrivateKeyInfrastructureEx> extended;
        ASSERT_EQ(pki.as(extended), S_OK);
        BSTR wrong = toBstr("wrong").detach();
        LONG id = 0;
        EXPECT_EQ(extended->ImportRequestedCertificate2(toBstr(file).get(), toBstr(reference).get(),
                                                        &wrong, &id),
                  E_ACCESSDENIED);
        SysFreeString(wrong);
        ASSERT_EQ(pki->ImportRequestedCertificate(toBstr(file).get(), toBstr(reference).get(), &id),
                  S_OK);
        EXPECT_EQ(openReferences(), std::vector<std::string>{});
        reopen();

        EXPECT_EQ(storedCertificate(id), std::pair(serial, toBase64(certificateDer(issued.get()))));

        velcom::ComPtr<ISMAsymKey> key;
        ASSERT_EQ(pki->FindKey(id, key.put()), S_OK);
        EXPECT_EQ(key->Decrypt(toBstr("wrong").get()), E_ACCESSDENIED);
        EXPECT_NE(lastError().find("password"), std::string::npos) << lastError();
        EXPECT_EQ(exportedKeyMatches(id, "secret", issued.get()), 1);

        velcom::Variant ids;
        ids.get()->vt = VT_I4;
        ids.get()->lVal = id;
        ASSERT_EQ(
            pki->Export2(toBstr(path("cert.pem")).get(), SMFormatX509, SMEncodingPEM, *ids.get()),
            S_OK);
        std::ifstream written(path("cert.pem"));
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}),
                  certificatePem(issued.get()));
    }
}

TEST_F(PkiTest, ABadImportIsAClearErrorAndLeavesTheRequestOpen) {
    const auto request = createRequest("secret");
    ASSERT_EQ(pki->AddRequest(request.get(), toBstr("4711").get()), S_OK);
    const auto other = createRequest("secret");
    const X509Owner foreign = issue(textOfRequest(other.get()), 5);
    const std::string foreignFile =
        writePem("other.pem", "CERTIFICATE", certificateDer(foreign.get()));
    const std::tuple<std::string, const char*, const char*> rows[] = {
        {foreignFile, "4711", "no certificate in the file is for the key"},
        {foreignFile, "", "no certificate in the file is for the key"},
        {foreignFile, "999", "no request is open"},
        {path("missing.pem"), "4711", "opening the file"},
        {writePem("junk.pem", "CERTIFICATE", "junk"), "4711", "CERTIFICATE"},
    };
    for (const auto& [file, reference, reason] : rows) {
        SCOPED_TRACE(file + " for " + reference);
        LONG id = 0;
        EXPECT_TRUE(FAILED(
            pki->ImportRequestedCertificate(toBstr(file).get(), toBstr(reference).get(), &id)));
        EXPECT_NE(lastError().find(reason), std::string::npos) << lastError();
        EXPECT_EQ(openReferences(), std::vector<std::string>{"4711"});
    }
}

TEST_F(PkiTest, LoadedRevocationListsAndRevokeChangeWhatVerifyAndFindReport) {
    const auto requestA = createRequest("a"), requestB = createRequest("b");
    const X509Owner first = issue(textOfRequest(requestA.get()), 21);
    const X509Owner second = issue(textOfRequest(requestB.get()), 22);
    const X509Owner expired = issue(textOfRequest(requestB.get()), 23, -1);
    std::ofstream(path("all.pem")) << certificatePem(s_ca) << certificatePem(first.get())
                                   << certificatePem(second.get()) << certificatePem(expired.get());
    const auto importFile = [&](const std::string& file) {
        velcom::ComPtr<ISMCertificateList> certificates;
        velcom::ComPtr<ISMCRLList> lists;
        EXPECT_EQ(pki->Load(toBstr(file).get(), certificates.put(), lists.put()), S_OK);
        EXPECT_EQ(pki->Import(certificates.get(), lists.get()), S_OK);
        reopen();
    };
    importFile(path("all.pem"));

    const auto statusOf = [&](X509* certificate) {
        std::ofstream(path("one.pem")) << certificatePem(certificate);
        velcom::ComPtr<ISMCertificateList> loaded;
        velcom::ComPtr<ISMCRLList> none;
        EXPECT_EQ(pki->Load(toBstr(path("one.pem")).get(), loaded.put(), none.put()), S_OK);
        velcom::ComPtr<ISMCertificate> item;
        EXPECT_EQ(loaded->get_Item(0, item.put()), S_OK);
        CertStatus status = SMStatusUnknown;
        EXPECT_EQ(pki->Verify(item.get(), 0, &status), S_OK);
        return status;
    };
    EXPECT_EQ(statusOf(first.get()), SMStatusActive);
    EXPECT_EQ(statusOf(expired.get()), SMStatusExpired);

    importFile(writePem("crl.pem", "X509 CRL", revocationList(21)));
    EXPECT_EQ(statusOf(first.get()), SMStatusRevoked);
    EXPECT_EQ(statusOf(second.get()), SMStatusActive);

    BSTR name = toBstr("Eva Muster").detach();
    CertStatus active = SMStatusActive;
    velcom::ComPtr<ISMCertificateList> found;
    ASSERT_EQ(pki->Find(nullptr, &active, nullptr, nullptr, &name, nullptr, nullptr, found.put()),
              S_OK);
    LONG count = 0;
    EXPECT_EQ(found->get_Count(&count), S_OK);
    EXPECT_EQ(count, 1);
    velcom::ComPtr<ISMCertificate> stillActive;
    ASSERT_EQ(found->get_Item(0, stillActive.put()), S_OK);
    ASSERT_EQ(pki->Revoke(stillActive.get()), S_OK);
    reopen();
    EXPECT_EQ(pki->Find(nullptr, &active, nullptr, nullptr, &name, nullptr, nullptr, found.put()),
              S_OK);
    EXPECT_EQ(found->get_Count(&count), S_OK);
    EXPECT_EQ(count, 0);
    SysFreeString(name);
}

// Hosts that start together open the same new store at once: each must get it, whole.
TEST_F(PkiTest, ConnectionsOpeningANewStoreAtOnceAllGetIt) {
    for (int round = 0; round < 20; ++round) {
        const std::string path = (directory / ("new" + std::to_string(round) + ".db")).string();
        std::atomic<int> opened{0};
        std::vector<std::thread> hosts;
        for (int host = 0; host < 8; ++host)
            hosts.emplace_back([&] {
                try {
                    PkiStore store(path);
                    store.openReferences();
                    ++opened;
                } catch (const std::exception& failure) {
                    ADD_FAILURE() << failure.what();
                }
            });
        for (std::thread& host : hosts) host.join();
        ASSERT_EQ(opened, 8) << "round " << round;
    }
}

}  // namespace

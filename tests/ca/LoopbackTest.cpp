// The server on loopback ports, driven over HTTP and over client-certificate HTTPS.
#include "tests/ca/CaTest.h"

#include <httplib.h>
#include <openssl/pem.h>

#include <fstream>
#include <thread>

#include "ca/Server.h"

namespace {

Answer answerOf(const httplib::Result& result) {
    return readAnswer(result ? result->body : std::string());
}

TEST_F(CaTest, ServerAnswersOverLoopbackFromSubmissionToRenewal) {
    dialogue.reset();
    std::ostringstream log;
    ca::Server server(directory, {0, 0, ca::Approval::Manual}, log);
    const ca::Ports ports = server.bind();
    std::thread serving([&server] { server.run(); });
    const std::string path = "/a/" + token + "/";

    httplib::Client client("127.0.0.1", ports.http);
    const Answer start = answerOf(client.Get(path + "start"));
    EXPECT_EQ(start.start.at("RenewCertificate"),
              "https://127.0.0.1:" + std::to_string(ports.https) + path + "renew");
    const Answer application = answerOf(client.Get(path + "create"));
    key = makeKeyRequest(application.params.at("-challenge"));
    const Answer submitted =
        answerOf(client.Post(path + "submit", httplib::Params{{"-ident-TO_passwd", password},
                                                              {"-ident_check_AGB", "yes"},
                                                              {"-key_challenge", key.base64}}));
    ASSERT_EQ(submitted.status, 100) << submitted.message;
    const httplib::Params fetch{{"SUFFIX_NR", submitted.params.at("-refnum")}};
    EXPECT_EQ(answerOf(client.Post(path + "fetch", fetch)).status, 6);

    std::ostringstream printed;
    ca::approve(directory, submitted.params.at("-refnum"), printed);
    const Answer fetched = answerOf(client.Post(path + "fetch", fetch));
    ASSERT_EQ(fetched.status, 100) << fetched.message;
    const std::string der = ca::decodeBase64(fetched.params.at("cert")).value_or("");

    // The client's certificate and key in one file.
    const std::string pem = (directory / "client.pem").string();
    if (const ca::BioPtr bio{BIO_new_file(pem.c_str(), "w")}) {
        PEM_write_bio_X509(bio.get(), ca::certificateFromDer(der).get());
        PEM_write_bio_PrivateKey(bio.get(), key.key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    }
    httplib::SSLClient secure("127.0.0.1", ports.https, pem, pem);
    secure.set_ca_cert_path((directory / ca::kCaCertificateFile).c_str());
    secure.enable_server_certificate_verification(true);
    const Answer renewal = answerOf(
        secure.Post(path + "renew", httplib::Params{{"CLIENT_CERT", ca::encodeBase64(der)}}));
    EXPECT_EQ(renewal.status, 100) << renewal.message;
    EXPECT_EQ(renewal.params.at("-ident-ku_vname"), "Anna");

    server.stop();
    serving.join();
    EXPECT_NE(log.str().find("POST " + path + "renew 200"), std::string::npos) << log.str();
}

// A SIGTERM right after the ports were printed stops the server before it listens.
TEST_F(CaTest, ServerStoppedBeforeItListensStillEnds) {
    dialogue.reset();
    std::ostringstream log;
    for (int round = 0; round < 5; ++round) {
        ca::Server server(directory, {0, 0, ca::Approval::Automatic}, log);
        server.bind();
        std::thread serving([&server] { server.run(); });
        server.stop();
        serving.join();
    }
}

}  // namespace

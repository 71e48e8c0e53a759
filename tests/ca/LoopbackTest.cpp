// The server on loopback ports, driven over HTTP and over client-certificate HTTPS.
#include "tests/ca/CaTest.h"

#include <httplib.h>
#include <openssl/pem.h>

#include <thread>

#include "ca/Server.h"

namespace {

TEST_F(CaTest, ServerNamesItsHttpsPortAndRenewsForTheClientCertificateHolder) {
    const std::string der = issued();
    dialogue.reset();
    // The client's certificate and key in one file.
    const std::string pem = (directory / "client.pem").string();
    if (const ca::BioPtr bio{BIO_new_file(pem.c_str(), "w")}) {
        PEM_write_bio_X509(bio.get(), ca::certificateFromDer(der).get());
        PEM_write_bio_PrivateKey(bio.get(), key.key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    }
    std::ostringstream log;
    ca::Server server(directory, {0, 0, ca::Approval::Manual}, log);
    const ca::Ports ports = server.bind();
    std::thread serving([&server] { server.run(); });
    const std::string path = "/a/" + token + "/";
    const httplib::Result page = httplib::Client("127.0.0.1", ports.http).Get(path + "start");
    EXPECT_EQ(readAnswer(page ? page->body : "").start.at("RenewCertificate"),
              "https://127.0.0.1:" + std::to_string(ports.https) + path + "renew");
    httplib::SSLClient secure("127.0.0.1", ports.https, pem, pem);
    secure.set_ca_cert_path((directory / ca::kCaCertificateFile).c_str());
    secure.enable_server_certificate_verification(true);
    const httplib::Result renewal =
        secure.Post(path + "renew", httplib::Params{{"CLIENT_CERT", ca::encodeBase64(der)}});
    const Answer answer = readAnswer(renewal ? renewal->body : "");
    EXPECT_EQ(answer.status, 100) << answer.message;
    EXPECT_EQ(answer.params.at("-ident-ku_vname"), "Anna");
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

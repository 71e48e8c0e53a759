// The server on loopback ports; the renewal over client-certificate HTTPS is the e2e demo's.
#include "tests/ca/CaTest.h"

#include <httplib.h>

#include <thread>

#include "ca/Server.h"

namespace {

TEST_F(CaTest, ServerNamesItsHttpsPortAndLogsEachRequest) {
    dialogue.reset();
    std::ostringstream log;
    ca::Server server(directory, {0, 0, ca::Approval::Manual}, log);
    const ca::Ports ports = server.bind();
    std::thread serving([&server] { server.run(); });
    const std::string path = "/a/" + token + "/";
    const httplib::Result page = httplib::Client("127.0.0.1", ports.http).Get(path + "start");
    EXPECT_EQ(readAnswer(page ? page->body : "").start.at("RenewCertificate"),
              "https://127.0.0.1:" + std::to_string(ports.https) + path + "renew");
    server.stop();
    serving.join();
    EXPECT_NE(log.str().find("GET " + path + "start 200"), std::string::npos) << log.str();
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

// The server on loopback ports, driven over HTTP and over client-certificate HTTPS.
#include "tests/ca/CaTest.h"

#include <httplib.h>
#include <openssl/pem.h>
#include <openssl/sha.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <iterator>
#include <sstream>
#include <thread>

#include "ca/Server.h"
#include "ca/Stylesheet.h"

namespace {

// Also the CA certificate, to anyone on either port, whose fingerprint the commands print, and
// the revocation list.
TEST_F(CaTest, ServerNamesItsHttpsPortServesTheCaCertificateAndRenewsForTheHolder) {
    const std::string der = issued(), caDer = ca::derOf(authority->certificate());
    dialogue.reset();
    // The client's certificate and key in one file.
    const std::string pem = (directory / "client.pem").string();
    if (const ca::BioPtr bio{BIO_new_file(pem.c_str(), "w")}) {
        PEM_write_bio_X509(bio.get(), ca::certificateFromDer(der).get());
        PEM_write_bio_PrivateKey(bio.get(), key.key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    }
    std::ostringstream log;
    // The addresses name the host given, not the address bound.
    ca::ServerOptions options{0, 0, ca::Approval::Manual};
    options.host = "localhost";
    ca::Server server(directory, options, log);
    const ca::Ports ports = server.bind();
    std::thread serving([&server] { server.run(); });
    const std::string path = "/a/" + token + "/";
    httplib::ClientImpl plain("127.0.0.1", ports.http);
    const httplib::Result page = plain.Get(path + "start");
    EXPECT_EQ(readAnswer(page ? page->body : "").start.at("RenewCertificate"),
              "https://localhost:" + std::to_string(ports.https) + path + "renew");
    httplib::SSLClient secure("127.0.0.1", ports.https, pem, pem);
    secure.set_ca_cert_path((directory / ca::kCaCertificateFile).c_str());
    secure.enable_server_certificate_verification(true);
    const httplib::Result renewal =
        secure.Post(path + "renew", httplib::Params{{"CLIENT_CERT", ca::encodeBase64(der)}});
    const Answer answer = readAnswer(renewal ? renewal->body : "");
    EXPECT_EQ(answer.status, 100) << answer.message;
    EXPECT_EQ(answer.params.at("-ident-ku_vname"), "Anna");
    // Asked over HTTPS, every address handed out, and each later page's action, is HTTPS.
    const std::string tls = "https://localhost:" + std::to_string(ports.https) + path;
    const httplib::Result securePage = secure.Get(path + "start");
    const std::map<std::string, std::string> secureStart =
        readAnswer(securePage ? securePage->body : "").start;
    EXPECT_EQ(secureStart.size(), 6u);
    for (const auto& [name, address] : secureStart)
        EXPECT_TRUE(address.starts_with(tls)) << name << " " << address;
    const httplib::Result application = secure.Get(path + "create");
    EXPECT_EQ(readAnswer(application ? application->body : "").actionUrl, tls + "submit");

    std::ifstream file(directory / ca::kCaCertificateFile, std::ios::binary);
    const std::tuple<const char*, const char*, int, const char*, std::string> rows[] = {
        {"GET", ca::kCaDerAddress, 200, "application/pkix-cert", caDer},
        {"GET", ca::kCaPemAddress, 200, "application/x-pem-file",
         std::string(std::istreambuf_iterator<char>(file), {})},
        {"POST", ca::kCaDerAddress, 405, "", ""},
        {"DELETE", ca::kCaPemAddress, 405, "", ""},
        {"PUT", ca::kCrlAddress, 405, "", ""},
        {"GET", ca::kStylesheetAddress, 200, ca::kStylesheetType, ca::kStylesheet},
        {"GET", "/caXcrt", 404, "", ""},
    };
    for (httplib::ClientImpl* client : {&plain, static_cast<httplib::ClientImpl*>(&secure)})
        for (const auto& [method, address, status, type, body] : rows) {
            SCOPED_TRACE(std::string(method) + " " + address);
            httplib::Request request;
            request.method = method;
            request.path = address;
            const httplib::Result got = client->send(request);
            ASSERT_TRUE(got) << got.error();
            EXPECT_EQ(got->status, status);
            EXPECT_EQ(got->get_header_value("Content-Type"), type);
            EXPECT_EQ(got->body, body);
        }
    // The revocation list, to anyone, signed by the CA.
    const httplib::Result list = plain.Get(ca::kCrlAddress);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->get_header_value("Content-Type"), "application/pkix-crl");
    const auto* bytes = reinterpret_cast<const unsigned char*>(list->body.data());
    const ca::CrlPtr crl(d2i_X509_CRL(nullptr, &bytes, static_cast<long>(list->body.size())));
    EXPECT_TRUE(crl && X509_CRL_verify(crl.get(), X509_get0_pubkey(authority->certificate())));
    server.stop();
    serving.join();
    // Each line is stamped in UTC and names the token by its first characters.
    const std::string text = log.str();
    const std::size_t at = text.find(" POST /a/" + token.substr(0, 6) + "\u2026/renew 200\n");
    ASSERT_TRUE(at != std::string::npos && at >= 20 && (at == 20 || text[at - 21] == '\n')) << text;
    std::tm stamp{};
    std::istringstream(text.substr(at - 20, 20)) >> std::get_time(&stamp, "%Y-%m-%dT%H:%M:%SZ");
    EXPECT_GE(stamp.tm_year, 126) << text;
    EXPECT_EQ(log.str().find(token), std::string::npos);

    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(caDer.data()), caDer.size(), digest);
    std::string hex;
    for (const unsigned char byte : digest)
        hex += {"0123456789abcdef"[byte >> 4], "0123456789abcdef"[byte & 15]};
    std::ostringstream printed;
    ca::printFingerprint(directory, printed);
    EXPECT_EQ("fingerprint " + fingerprint + "\n" + printed.str(),
              "fingerprint SHA256:" + hex + "\nfingerprint SHA256:" + hex + "\n");
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

namespace {

// A client connection to 127.0.0.1, closed with the object.
struct Connection {
    explicit Connection(int port) : fd(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~Connection() { ::close(fd); }
    bool send(std::string_view text) const {
        return ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(text.size());
    }
    // All the server sends until it closes the connection.
    std::string answer() const {
        std::string received;
        char buffer[4096];
        for (ssize_t count; (count = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
            received.append(buffer, static_cast<std::size_t>(count));
        return received;
    }
    int fd;
    bool connected = false;
};

// 200 idle connections and 20 that stop within their headers leave the server answering, the
// times printed (README quotes them). A client that sends its headers a byte at a time is cut at
// the request's deadline, a head over the limit is refused without being read on, and a body
// over the limit before it is sent.
TEST_F(CaTest, HeldConnectionsLeaveTheServerAnswering) {
    dialogue.reset();
    std::ostringstream log;
    ca::ServerOptions options{0, 0};
    options.requestDeadline = std::chrono::seconds(1);
    ca::Server server(directory, options, log);
    const ca::Ports ports = server.bind();
    std::thread serving([&server] { server.run(); });
    std::vector<std::unique_ptr<Connection>> held;
    for (int count = 0; count < 220; ++count) {
        held.push_back(std::make_unique<Connection>(ports.http));
        ASSERT_TRUE(held.back()->connected);
        if (count >= 200) {
            EXPECT_TRUE(held.back()->send("GET /ca.crt HTTP/1.1\r\nHost: a\r\n"));
        }
    }
    httplib::Client client("127.0.0.1", ports.http);
    for (const std::string& address : {std::string(ca::kCaDerAddress), "/a/" + token + "/start"}) {
        const auto begin = std::chrono::steady_clock::now();
        const httplib::Result got = client.Get(address);
        const auto took = std::chrono::steady_clock::now() - begin;
        ASSERT_TRUE(got) << got.error();
        EXPECT_EQ(got->status, 200);
        EXPECT_LT(took, std::chrono::seconds(1));
        std::cout << "GET " << address.substr(0, 9) << " with 220 held connections: "
                  << std::chrono::duration<double, std::milli>(took).count() << " ms\n";
    }
    held.clear();

    const Connection trickling(ports.http);
    const auto begin = std::chrono::steady_clock::now();
    bool cut = false;
    for (int byte = 0; byte < 40 && !cut; ++byte) {
        cut = !trickling.send(byte == 0 ? "GET /ca.crt HTTP/1.1\r\nX-Slow: " : "a");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(trickling.answer(), "");
    const auto took = std::chrono::steady_clock::now() - begin;
    EXPECT_GE(took, std::chrono::seconds(1));
    EXPECT_LT(took, std::chrono::seconds(3));

    const Connection longHead(ports.http);
    ASSERT_TRUE(longHead.send("GET /ca.crt HTTP/1.1\r\nX-Long: " + std::string(40000, 'a')));
    EXPECT_EQ(longHead.answer().substr(0, 12), "HTTP/1.1 431");
    const Connection large(ports.http);
    ASSERT_TRUE(large.send("POST /a/" + token + "/submit HTTP/1.1\r\nHost: a\r\n" +
                           "Content-Length: 200000000\r\n\r\n"));
    EXPECT_EQ(large.answer().substr(0, 12), "HTTP/1.1 413");
    server.stop();
    serving.join();
}

// Under umask 000 the directory, the keys and the state with its log are the owner's alone; a
// port in use is an error, not a second server that shares it.
TEST_F(CaTest, StateIsTheOwnersAloneAndABusyPortIsRefused) {
    const mode_t umask = ::umask(0);
    const std::filesystem::path fresh = directory / "fresh";
    std::ostringstream out;
    ca::initAuthority(fresh, out);
    ca::addApplicant(fresh, {"Ben", "Muster", "ben@example.org", "ACME", "DE"}, out);
    ca::Server server(fresh, {0, 0}, out);
    const int port = server.bind().http;
    ca::Server second(fresh, {port, 0}, out);
    EXPECT_THROW(second.bind(), std::runtime_error);
    ::umask(umask);
    const std::pair<const char*, mode_t> rows[] = {{".", 0700},
                                                   {ca::kCaKeyFile, 0600},
                                                   {ca::kTlsKeyFile, 0600},
                                                   {"state.db", 0600},
                                                   {"state.db-wal", 0600},
                                                   {"state.db-shm", 0600},
                                                   {ca::kCaCertificateFile, 0644}};
    for (const auto& [file, mode] : rows) {
        struct stat status {};
        ASSERT_EQ(::stat((fresh / file).c_str(), &status), 0) << file;
        EXPECT_EQ(status.st_mode & 0777, mode) << file;
    }
}

}  // namespace

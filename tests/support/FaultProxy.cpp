#include "support/FaultProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <stdexcept>
#include <string_view>

namespace {

// How soon the serving thread sees that the proxy goes; a dripped byte goes every millisecond.
constexpr int kStopMilliseconds = 20;
// What a cut answer keeps of its body: enough to be seen, far less than its length promises.
constexpr std::size_t kBodyBytesKept = 16;
constexpr char kNotAHandshake[] = "HTTP/1.1 400 Bad Request\r\n\r\n";
constexpr char kSshGreeting[] = "SSH-2.0-OpenSSH_9.2\r\n";

sockaddr_in loopback(int port) {
    return {.sin_family = AF_INET,
            .sin_port = htons(static_cast<uint16_t>(port)),
            .sin_addr = {htonl(INADDR_LOOPBACK)},
            .sin_zero = {}};
}

Descriptor tcpSocket() { return Descriptor(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)); }

bool sendAll(const Descriptor& socket, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(socket.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

// A request sent to an HTTP proxy names the whole address ("GET http://host:port/path"); the
// server behind takes only the path.
std::string originForm(std::string_view bytes) {
    std::string request(bytes);
    for (std::size_t at; (at = request.find(" http://")) != std::string::npos;)
        request.replace(at + 1, request.find('/', at + 8) - at - 1, "");
    return request;
}

// Closing with a zero linger time sends a reset instead of an orderly end.
void reset(Descriptor& socket) {
    const linger abort{1, 0};
    ::setsockopt(socket.get(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    socket.reset();
}

}  // namespace

struct FaultProxy::Connection {
    Descriptor client, server;
    Fault fault = Fault::None;
    std::string heldBack;  // of the server's answer: the part cut or dripped later
};

FaultProxy::FaultProxy(int serverPort) : m_listener(tcpSocket()), m_serverPort(serverPort) {
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (!m_listener.valid() ||
        ::bind(m_listener.get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(m_listener.get(), SOMAXCONN) != 0 ||
        ::getsockname(m_listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("the fault proxy cannot listen on loopback");
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

FaultProxy::~FaultProxy() {
    m_stopping = true;
    m_thread.join();
}

void FaultProxy::inject(Fault fault, std::string trigger) {
    const std::lock_guard lock(m_mutex);
    m_fault = fault;
    m_trigger = std::move(trigger);
}

void FaultProxy::serve() {
    std::vector<Connection> connections;
    while (!m_stopping) {
        std::vector<pollfd> watched{{m_listener.get(), POLLIN, 0}};
        bool dripping = false;
        for (const Connection& connection : connections) {
            watched.push_back({connection.client.get(), POLLIN, 0});
            watched.push_back({connection.server.get(), POLLIN, 0});
            dripping |= connection.fault == Fault::Drip && !connection.heldBack.empty();
        }
        if (::poll(watched.data(), watched.size(), dripping ? 1 : kStopMilliseconds) < 0) continue;
        for (std::size_t index = 0; index < connections.size(); ++index) {
            Connection& connection = connections[index];
            const bool alive = (watched[1 + 2 * index].revents == 0 || fromClient(connection)) &&
                               (watched[2 + 2 * index].revents == 0 || fromServer(connection)) &&
                               drip(connection);
            if (!alive) connection.client.reset();
        }
        std::erase_if(connections, [](const Connection& each) { return !each.client.valid(); });
        if (watched[0].revents != 0) accept(connections);
    }
}

void FaultProxy::accept(std::vector<Connection>& connections) {
    Descriptor client(::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    Descriptor server = tcpSocket();
    const sockaddr_in address = loopback(m_serverPort);
    if (!client.valid() || !server.valid() ||
        ::connect(server.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return;
    connections.push_back({std::move(client), std::move(server), Fault::None, {}});
}

bool FaultProxy::fromClient(Connection& connection) {
    char buffer[16384];
    const ssize_t got = ::read(connection.client.get(), buffer, sizeof buffer);
    if (got <= 0) return false;
    const std::string_view bytes(buffer, static_cast<std::size_t>(got));
    if (connection.fault == Fault::None) {
        const std::lock_guard lock(m_mutex);
        if (m_fault != Fault::None && bytes.find(m_trigger) != std::string_view::npos)
            connection.fault = std::exchange(m_fault, Fault::None);
    }
    switch (connection.fault) {
        case Fault::Stall:
            return true;
        case Fault::GarbageHandshake:
            sendAll(connection.client, kNotAHandshake);
            return false;
        case Fault::ResetHandshake:
            reset(connection.client);
            return false;
        case Fault::NotHttp:
            connection.fault = Fault::Stall;
            return sendAll(connection.client, kSshGreeting);
        default:
            return sendAll(connection.server, originForm(bytes));
    }
}

bool FaultProxy::fromServer(Connection& connection) {
    char buffer[16384];
    const ssize_t got = ::read(connection.server.get(), buffer, sizeof buffer);
    if (got <= 0) {
        // What is left to drip still goes out, then the client sees the server's close; a
        // stalled client waits on.
        connection.server.reset();
        return connection.fault == Fault::Stall ||
               (connection.fault == Fault::Drip && !connection.heldBack.empty());
    }
    const std::string_view bytes(buffer, static_cast<std::size_t>(got));
    switch (connection.fault) {
        case Fault::ResetBeforeAnswer:
            reset(connection.client);
            return false;
        case Fault::ResetDuringAnswer:
        case Fault::TruncatedAnswer: {
            std::string& answer = connection.heldBack;
            answer += bytes;
            const std::size_t head = answer.find("\r\n\r\n"), kept = head + 4 + kBodyBytesKept;
            if (head == std::string::npos || answer.size() < kept) return true;
            sendAll(connection.client, answer.substr(0, kept));
            if (connection.fault == Fault::ResetDuringAnswer) reset(connection.client);
            return false;
        }
        case Fault::Drip:
            connection.heldBack += bytes;
            return true;
        default:
            return sendAll(connection.client, bytes);
    }
}

bool FaultProxy::drip(Connection& connection) {
    if (connection.fault != Fault::Drip) return true;
    if (connection.heldBack.empty()) return connection.server.valid();
    const bool sent = sendAll(connection.client, connection.heldBack.substr(0, 1));
    connection.heldBack.erase(0, 1);
    return sent;
}

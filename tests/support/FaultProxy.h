// A loopback proxy in front of one server that breaks one exchange the way a network or a server
// does; clients reach it at its port, or as their HTTP proxy (http_proxy).
#pragma once

#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// An owned file descriptor (a socket, a pipe end), closed when the owner goes.
class Descriptor {
public:
    explicit Descriptor(int descriptor = -1) : m_descriptor(descriptor) {}
    Descriptor(Descriptor&& other) noexcept : m_descriptor(std::exchange(other.m_descriptor, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        return reset(std::exchange(other.m_descriptor, -1)), *this;
    }
    ~Descriptor() { reset(); }
    int get() const { return m_descriptor; }
    bool valid() const { return m_descriptor >= 0; }
    void reset(int descriptor = -1) {
        if (valid()) ::close(m_descriptor);
        m_descriptor = descriptor;
    }

private:
    int m_descriptor;
};

enum class Fault {
    None,
    ResetBeforeAnswer,  // the server answers, the client gets a reset instead
    ResetDuringAnswer,  // the head and a few bytes of the body, then a reset
    TruncatedAnswer,    // the head and a few bytes of the body, then an orderly close
    Stall,              // the request is taken and never answered
    Drip,               // the answer one byte at a time
    GarbageHandshake,   // a line of text where a TLS client expects the server's hello
    ResetHandshake,     // a reset where a TLS client expects the server's hello
    NotHttp,            // another protocol's greeting (an SSH server's) for an answer, then silence
};

class FaultProxy {
public:
    explicit FaultProxy(int serverPort);
    ~FaultProxy();

    int port() const { return m_port; }
    // The next request whose bytes contain trigger (any request when it is empty) gets the fault.
    void inject(Fault fault, std::string trigger = {});

private:
    struct Connection;
    void serve();
    void accept(std::vector<Connection>& connections);
    // False when the connection is done with.
    bool fromClient(Connection& connection);
    bool fromServer(Connection& connection);
    bool drip(Connection& connection);

    Descriptor m_listener;
    int m_port = 0, m_serverPort;
    std::mutex m_mutex;
    Fault m_fault = Fault::None;
    std::string m_trigger;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

// The client certificate's key, opened before a connection is made. libcurl would open it only
// once connected, in the middle of the handshake; a key protected by a slow key derivation then
// keeps a server that allows a few seconds for the handshake waiting until it gives up.
#pragma once

#include <string>

struct TransportOptions;

class ClientKey {
public:
    ClientKey() = default;
    ClientKey(const ClientKey&) = delete;
    ClientKey& operator=(const ClientKey&) = delete;
    ~ClientKey();

    // The key of the options' key file as unencrypted PEM, decrypted with their password.
    // Throws TransportFailure (the client-certificate error, naming `host` and `port`) when the
    // file cannot be read or the password does not open it. The same file opened with the same
    // password as last time is not derived again.
    const std::string& unlocked(const TransportOptions& options, const std::string& host,
                                long port);

private:
    void forget();

    std::string m_fileBytes;
    std::string m_password;
    std::string m_pem;
};

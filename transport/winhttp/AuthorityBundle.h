// VELTRANSPORT_CA_BUNDLE on Windows: the authorities of a PEM file, trusted for a server without
// being added to any of the system's stores.
#pragma once

#include <string>

#include <velcom/com.h>
#include <winhttp.h>

#include "CryptOwners.h"

class AuthorityBundle {
public:
    // Throws TransportFailure (12045, naming `host` and `port`) when the file holds no
    // certificate.
    AuthorityBundle(const std::string& path, const std::string& host, INTERNET_PORT port);

    // Whether the server's certificate, with the certificates the server sent along, chains to
    // one of the bundle's authorities, every link valid for a server now.
    bool vouchesFor(PCCERT_CONTEXT server) const;

private:
    CertStore m_authorities;
};

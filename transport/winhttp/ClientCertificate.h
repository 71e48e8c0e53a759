// The renewal's client certificate on Windows: the certificate of the -oc PEM file as the user's
// store (CurrentUser\My) keeps it, linked to its key, which velPKI.dll made and which never leaves
// the system. The key file and its password (-pk, -pp) are not needed here.
#pragma once

#include <string>

#include <velcom/com.h>
#include <winhttp.h>

#include "CryptOwners.h"

// Throws TransportFailure (12044, naming `host` and `port` and why) when the file holds no
// certificate, the store does not hold it, or the store has no usable key for it.
CertContext storedClientCertificate(const std::string& certificateFile, const std::string& host,
                                    INTERNET_PORT port);

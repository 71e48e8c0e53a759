// The check of a server's certificate against VELTRANSPORT_CA_BUNDLE before any request of the
// host's goes to it. WinHTTP checks against the system's store alone and sends the request as soon
// as the connection stands: Windows lets a callback stop it there, Wine 8 does not (closing the
// handle in WINHTTP_CALLBACK_STATUS_SENDING_REQUEST still sends the request). So the transport
// first asks for "/" with the unknown authority allowed, checks the certificate in that callback,
// and, when the bundle vouches for it, leaves the connection open in WinHTTP's pool, where the
// host's request, sent without that allowance, finds it. A connection the bundle does not vouch
// for is never kept, and a new one is checked against the system's store as always.
#pragma once

#include <velcom/com.h>
#include <winhttp.h>

#include "AuthorityBundle.h"

// probe: a GET of "/" on the server, opened but not sent. False when the bundle does not vouch for
// the server's certificate; throws TransportFailure when the probe itself fails (`host`, `port`
// name the server in its text).
bool bundleVouchesForServer(HINTERNET probe, const AuthorityBundle& bundle, const std::string& host,
                            INTERNET_PORT port);

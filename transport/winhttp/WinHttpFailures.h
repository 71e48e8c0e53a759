// WinHTTP's failures as results of the kind TransportErrors.h lists (WinHTTP numbers its errors as
// WinINet does), described in plain words with the server's host and port.
#pragma once

#include <string>

#include <velcom/com.h>
#include <winhttp.h>

#include "TransportFailure.h"

// step: what the transport was doing ("connecting", "reading the answer" ...).
TransportFailure winHttpFailure(DWORD error, const std::string& host, INTERNET_PORT port,
                                const std::string& step);

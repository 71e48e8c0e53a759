// WinHTTP's failures as results of the kind TransportErrors.h lists (WinHTTP numbers its errors as
// WinINet does), described in plain words with the server's host and port.
#pragma once

#include <optional>
#include <string>

#include <velcom/com.h>
#include <winhttp.h>

#include "ProxyInUse.h"
#include "TransportFailure.h"

// step: what the transport was doing ("connecting", "reading the answer" ...). Through a proxy,
// WinHTTP itself finds and connects to nothing but the proxy: those failures name it.
TransportFailure winHttpFailure(DWORD error, const std::string& host, INTERNET_PORT port,
                                const std::string& step,
                                const std::optional<ProxyInUse>& proxy = std::nullopt);

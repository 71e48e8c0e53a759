// libcurl's failures as the WinINet-style results of TransportErrors.h, described in plain words
// with the server's host and port, or the proxy's when the proxy could not be reached.
#pragma once

#include <optional>
#include <string>

#include <curl/curl.h>

#include "ProxyInUse.h"
#include "TransportFailure.h"

// detail: curl's own message for the failure, appended in parentheses when not empty.
TransportFailure curlFailure(CURLcode code, const std::string& host, long port,
                             const std::string& detail,
                             const std::optional<ProxyInUse>& proxy = std::nullopt);

// The bytes at an http or https address, fetched through the transport the proxy uses (created by
// its ProgID), so that the proxy settings and the CA bundle of a conversation apply alike.
#pragma once

#include <string>

// Raises CommandFailure: Unreachable when the transport fails, Failed when the server answers
// with a status other than 200.
std::string download(const std::string& address);

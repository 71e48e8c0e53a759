// Failures of OpenSSL calls, with the reasons OpenSSL queued for them.
#pragma once

#include <string>

#include "PkiFailure.h"

// E_FAIL with what went wrong followed by OpenSSL's reasons queued on this thread, which it
// consumes, so that a later failure does not report stale ones.
[[noreturn]] void failOpenSsl(const std::string& what);
// The reasons OpenSSL queued on this thread, joined by "; ", and the queue cleared.
std::string takeOpenSslReasons();

// The owner of a WinHTTP handle: a session, a connection or a request.
#pragma once

#include <memory>

#include <velcom/com.h>
#include <winhttp.h>

struct WinHttpHandleClose {
    void operator()(HINTERNET handle) const { WinHttpCloseHandle(handle); }
};
using WinHttpHandle = std::unique_ptr<void, WinHttpHandleClose>;

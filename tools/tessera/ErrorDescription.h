// The description of the error object a failed call left on the thread: the component's, the
// store's (SQLite's or the system's reason) or the transport's own words.
#pragma once

#include <string>

#include <velcom/com.h>

// Empty when the call left none.
std::string errorDescription();
// ": " and the description, or nothing when the call left none: for a message that goes on.
std::string reasonAfter();
// The failure's number as Windows writes it, 0x8007274D.
std::string hexCode(HRESULT result);
// The description, else the failure's number.
std::string reasonFor(HRESULT result);

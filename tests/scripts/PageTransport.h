// The transport the script hosts' proxies create: it answers each address with a fixed page of a
// test authority, delivered through the back channel as a real transport delivers it.
#pragma once

#include <velTesseraComm/velTesseraComm.h>

HRESULT createPageTransport(IUnknown* outer, REFIID riid, void** object);

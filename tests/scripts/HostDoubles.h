// What a host hands to Init besides its PKI component. VBScript passes Nothing for them, but a
// JScript null is no interface pointer, so a JScript page hands these.
#pragma once

#include <velTesseraComm/velTesseraComm.h>

HRESULT createSilentBackChannel(IUnknown* outer, REFIID riid, void** object);
HRESULT createIdleRandom(IUnknown* outer, REFIID riid, void** object);

// A PKI component making real key requests with CryptoAPI; GetCertificate(1).Serial is the serial
// of the certificate imported for its one open request.
#pragma once

#include <velTesseraComm/velTesseraComm.h>

HRESULT createCryptoApiPki(IUnknown* outer, REFIID riid, void** object);

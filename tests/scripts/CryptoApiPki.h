// The PKI component of the script that talks to a real authority: it makes real key requests with
// CryptoAPI, keeps one open request, and takes the certificate issued for its key.
// Scripts reach it by name: GetOpenRequests lists the open reference, GetCertificate(1).Serial
// tells the serial number of the certificate imported.
#pragma once

#include <velTesseraComm/velTesseraComm.h>

HRESULT createCryptoApiPki(IUnknown* outer, REFIID riid, void** object);

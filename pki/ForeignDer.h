// The DER of a certificate or revocation list another component made, read from its Base64 text:
// the one thing every implementation of the interfaces gives.
#pragma once

#include <string>

#include <velTesseraComm/DispatchTables.h>

std::string foreignDer(ISMCertificate* certificate);
std::string foreignDer(ISMRevocationList* list);

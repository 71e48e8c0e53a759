// What the PKI component's store holds, as tessera shows it.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include <velTesseraComm/velTesseraComm.h>

struct CertificateLine {
    LONG id = 0;
    std::string serial, commonName, notAfter, state;
};

velcom::ComPtr<ISMCertificate> certificateById(ISMPrivateKeyInfrastructure& pki, LONG id);
CertificateLine describe(ISMPrivateKeyInfrastructure& pki, ISMCertificate& certificate);
std::vector<CertificateLine> storedCertificates(ISMPrivateKeyInfrastructure& pki);
std::vector<std::string> openRequests(ISMPrivateKeyInfrastructure& pki);

// A serial number as the authority, the list and the store may each write it: no leading zeros,
// upper case.
std::string normalSerial(std::string serial);

std::ostream& operator<<(std::ostream& out, const CertificateLine& line);

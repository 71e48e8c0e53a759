#include "WinRevocationList.h"

#include "CertificateText.h"

namespace {

bool hasNextUpdate(const CRL_INFO* info) {
    return info->NextUpdate.dwLowDateTime != 0 || info->NextUpdate.dwHighDateTime != 0;
}

}  // namespace

std::string derOf(PCCRL_CONTEXT list) {
    return std::string(reinterpret_cast<const char*>(list->pbCrlEncoded), list->cbCrlEncoded);
}

std::string CvelRevocationList::issuerName() const { return nameText(list()->pCrlInfo->Issuer); }

Validity CvelRevocationList::validity() const {
    const CRL_INFO* info = list()->pCrlInfo;
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return CompareFileTime(&now, &info->ThisUpdate) < 0                          ? SMValNotYet
           : hasNextUpdate(info) && CompareFileTime(&now, &info->NextUpdate) > 0 ? SMValExpired
                                                                                 : SMValValid;
}

std::string CvelRevocationList::lastUpdateText() const {
    return timeText(list()->pCrlInfo->ThisUpdate);
}

std::string CvelRevocationList::nextUpdateText() const {
    const CRL_INFO* info = list()->pCrlInfo;
    return hasNextUpdate(info) ? timeText(info->NextUpdate) : std::string();
}

std::string CvelRevocationList::derBytes() const { return derOf(list()); }

LONG CvelRevocationList::entryCount() const {
    return static_cast<LONG>(list()->pCrlInfo->cCRLEntry);
}

std::string CvelRevocationList::entryDate(LONG index) const {
    return timeText(list()->pCrlInfo->rgCRLEntry[index].RevocationDate);
}

std::string CvelRevocationList::entrySerial(LONG index) const {
    return serialText(list()->pCrlInfo->rgCRLEntry[index].SerialNumber);
}

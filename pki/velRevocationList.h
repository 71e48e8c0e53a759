// A certificate revocation list as a loaded file gives it.
#pragma once

#include <string>

#include "OpenSslOwners.h"
#include "RevocationListAutomation.h"

class CvelRevocationList final : public RevocationListAutomation<CvelRevocationList> {
    friend class RevocationListAutomation<CvelRevocationList>;

public:
    explicit CvelRevocationList(CrlOwner list) : m_list(std::move(list)) {}

    X509_CRL* list() const { return m_list.get(); }

private:
    std::string issuerName() const;
    Validity validity() const;
    std::string lastUpdateText() const;
    std::string nextUpdateText() const;
    std::string derBytes() const;
    LONG entryCount() const;
    std::string entryDate(LONG index) const;
    std::string entrySerial(LONG index) const;

    CrlOwner m_list;
};

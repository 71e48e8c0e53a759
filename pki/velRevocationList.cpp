#include "velRevocationList.h"

#include "DerText.h"
#include "velCertificate.h"

std::string CvelRevocationList::issuerName() const { return nameText(X509_CRL_get_issuer(list())); }

Validity CvelRevocationList::validity() const {
    const ASN1_TIME* next = X509_CRL_get0_nextUpdate(list());
    return next == nullptr && X509_cmp_current_time(X509_CRL_get0_lastUpdate(list())) <= 0
               ? SMValValid
               : validityNow(X509_CRL_get0_lastUpdate(list()), next);
}

std::string CvelRevocationList::lastUpdateText() const {
    return timeText(X509_CRL_get0_lastUpdate(list()));
}

std::string CvelRevocationList::nextUpdateText() const {
    const ASN1_TIME* next = X509_CRL_get0_nextUpdate(list());
    return next == nullptr ? std::string() : timeText(next);
}

std::string CvelRevocationList::derBytes() const { return revocationListDer(list()); }

LONG CvelRevocationList::entryCount() const {
    STACK_OF(X509_REVOKED)* entries = X509_CRL_get_REVOKED(list());
    return entries == nullptr ? 0 : sk_X509_REVOKED_num(entries);
}

std::string CvelRevocationList::entryDate(LONG index) const {
    return timeText(X509_REVOKED_get0_revocationDate(
        sk_X509_REVOKED_value(X509_CRL_get_REVOKED(list()), index)));
}

std::string CvelRevocationList::entrySerial(LONG index) const {
    return serialText(
        X509_REVOKED_get0_serialNumber(sk_X509_REVOKED_value(X509_CRL_get_REVOKED(list()), index)));
}

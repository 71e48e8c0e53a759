// certs: what the store holds: its certificates with the days they have left, the open requests
// by their references, and the trust anchor.
#include "CertificateInfo.h"
#include "Commands.h"
#include "Json.h"
#include "StoreView.h"
#include "TrustAnchor.h"

namespace {

struct Listing {
    std::vector<CertificateLine> certificates;
    std::vector<long> daysLeft;
    std::vector<std::string> requests;
    std::optional<CertificateInfo> anchor;
};

Listing listingOf(ISMPrivateKeyInfrastructure& pki) {
    Listing listing{storedCertificates(pki), {}, openRequests(pki), std::nullopt};
    for (const CertificateLine& line : listing.certificates)
        listing.daysLeft.push_back(
            inspectCertificate(derOf(*certificateById(pki, line.id).get())).daysLeft);
    if (const velcom::ComPtr<ISMCertificate> anchor = trustAnchorOf(pki))
        listing.anchor = inspectCertificate(derOf(*anchor.get()));
    return listing;
}

void writeJson(const Listing& listing, std::ostream& out) {
    JsonWriter json(out);
    json.open('{').key("certificates").open('[');
    for (std::size_t index = 0; index < listing.certificates.size(); ++index) {
        const CertificateLine& line = listing.certificates[index];
        json.open('{').key("id").number(line.id).field("serial", line.serial);
        json.field("commonName", line.commonName).field("notAfter", line.notAfter);
        json.key("daysLeft").number(listing.daysLeft[index]).field("state", line.state);
        json.close('{');
    }
    json.close('[').key("openRequests").open('[');
    for (const std::string& reference : listing.requests) json.text(reference);
    json.close('[').key("trustAnchor");
    if (listing.anchor)
        json.open('{')
            .field("subject", listing.anchor->subject)
            .field("fingerprint", listing.anchor->fingerprint)
            .close('{');
    else
        json.null();
    json.close('{');
}

void writeText(const Listing& listing, std::ostream& out) {
    out << "certificates: " << listing.certificates.size() << '\n';
    for (std::size_t index = 0; index < listing.certificates.size(); ++index)
        out << listing.certificates[index] << "  (" << listing.daysLeft[index] << " days left)\n";
    out << "open requests: " << listing.requests.size() << '\n';
    for (const std::string& reference : listing.requests)
        out << "  reference " << reference << '\n';
    if (listing.anchor)
        out << "trust anchor: " << listing.anchor->subject << "\n  fingerprint "
            << listing.anchor->fingerprint << '\n';
    else
        out << "trust anchor: none (tessera trust sets it)\n";
}

}  // namespace

void listStore(Settings& settings, std::ostream& out) {
    Session session(settings, false);
    const Listing listing = listingOf(session.pki());
    if (settings.json)
        writeJson(listing, out);
    else
        writeText(listing, out);
}

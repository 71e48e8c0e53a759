// crl: the authority's revocation list into the store; prints the serial numbers it names and the
// stored certificates it marks revoked. Only a list the trust anchor signed can tell which
// certificates are revoked, so there is no update without an anchor.
#include <algorithm>

#include "CommandFailure.h"
#include "Commands.h"
#include "StoreView.h"
#include "Text.h"
#include "TrustAnchor.h"

namespace {

// The list the proxy has just written into the temporary directory and the store imported.
velcom::ComPtr<ISMRevocationList> fetchedList(Session& session) {
    velcom::ComPtr<ISMCertificateList> certificates;
    velcom::ComPtr<ISMCRLList> lists;
    velcom::ComPtr<ISMRevocationList> list;
    LONG count = 0;
    const velcom::Bstr file = toBstr(session.temporaryDirectory() + "/data.pem");
    if (FAILED(session.pki().Load(file.get(), certificates.put(), lists.put())) || !lists ||
        FAILED(lists->get_Count(&count)) || count < 1 || FAILED(lists->get_Item(0, list.put())))
        throw CommandFailure(ExitCode::Failed, "cannot read the revocation list just fetched");
    return list;
}

void printMarked(Session& session, const std::vector<std::string>& serials, std::ostream& out) {
    std::vector<std::string> named;
    for (const std::string& serial : serials) named.push_back(normalSerial(serial));
    for (const CertificateLine& line : storedCertificates(session.pki()))
        if (std::find(named.begin(), named.end(), normalSerial(line.serial)) != named.end())
            out << "  the store's certificate #" << line.id << " (" << line.commonName << ") is "
                << line.state << '\n';
}

}  // namespace

std::vector<std::string> updateRevocationList(Settings& settings, std::ostream& out) {
    Session session(settings, true);
    if (!trustAnchorOf(session.pki()))
        throw CommandFailure(ExitCode::Usage,
                             "no trust anchor to check the revocation list against: run tessera "
                             "trust with the authority's certificate and fingerprint first");
    session.run([&] { return session.proxy().UpdateCRL(); });
    const velcom::ComPtr<ISMRevocationList> list = fetchedList(session);
    velcom::Bstr nextUpdate;
    LONG count = 0;
    list->get_NextUpdate(nextUpdate.put());
    list->get_EntryCount(&count);
    out << "revocation list imported, next update " << toUtf8(nextUpdate.get()) << ", " << count
        << " revoked\n";
    std::vector<std::string> serials;
    for (LONG index = 0; index < count; ++index) {
        velcom::Bstr date, serial;
        if (FAILED(list->GetEntry(index, date.put(), serial.put()))) continue;
        serials.push_back(toUtf8(serial.get()));
        out << "  serial " << serials.back() << " revoked " << toUtf8(date.get()) << '\n';
    }
    printMarked(session, serials, out);
    return serials;
}

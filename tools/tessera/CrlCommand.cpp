// crl: the authority's revocation list into the store; prints the serial numbers it names.
#include "CommandFailure.h"
#include "Commands.h"
#include "Text.h"

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

}  // namespace

std::vector<std::string> updateRevocationList(Settings& settings, std::ostream& out) {
    Session session(settings, true);
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
    return serials;
}

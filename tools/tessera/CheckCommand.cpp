// check: the authority's word on a certificate; a revoked one is marked so in the store.
#include <cstdlib>

#include "Commands.h"
#include "Json.h"
#include "NodeText.h"
#include "StoreView.h"

std::string checkCertificate(Settings& settings, LONG id, std::ostream& out) {
    Session session(settings, true);
    const velcom::ComPtr<ISMCertificate> certificate = certificateById(session.pki(), id);
    velcom::ComPtr<IvelNode> answer;
    session.run([&] { return session.proxy().Check(certificate.get(), answer.put()); });
    static const char* const kStates[] = {"unknown", "valid", "revoked", "expired"};
    const long state = std::strtol(parameterOf(*answer.get(), "-cert_state").c_str(), nullptr, 10);
    const std::string text = state >= 0 && state <= 3 ? kStates[state] : "unknown";
    const CertificateLine line = describe(session.pki(), *certificate.get());
    if (settings.json)
        JsonWriter(out)
            .open('{')
            .key("id")
            .number(id)
            .field("serial", line.serial)
            .field("state", text)
            .close('{');
    else
        out << "the authority says: " << text << '\n' << line << '\n';
    return text;
}

// check: the authority's word on a certificate; a revoked one is marked so in the store.
#include <cstdlib>

#include "Commands.h"
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
    out << "the authority says: " << text << '\n'
        << describe(session.pki(), *certificate.get()) << '\n';
    return text;
}

// certs: what the store holds.
#include "Commands.h"
#include "StoreView.h"

void listStore(Settings& settings, std::ostream& out) {
    Session session(settings, false);
    printStore(session.pki(), out);
}

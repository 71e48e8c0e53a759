#include "TransportRegistration.h"

std::vector<ScriptKey> transportRegistryScript() {
    return inprocClassScript({kTransportClassIdText, "vel Transport Class", kTransportProgId,
                              kTransportVersionIndependentProgId, kTransportTypeLibraryIdText});
}

#include "TransportRegistration.h"

#include <utility>

namespace {

using Removal = ScriptKey::Removal;

constexpr char kDescription[] = "vel Transport Class";

ScriptKey keyWith(const char* name, const char* text, std::vector<ScriptKey> subkeys = {},
                  Removal removal = Removal::Normal) {
    return {name, {{"", text}}, std::move(subkeys), removal};
}

}  // namespace

std::vector<ScriptKey> transportRegistryScript() {
    ScriptKey inprocServer = keyWith("InprocServer32", "%MODULE%");
    inprocServer.values.push_back({"ThreadingModel", "Apartment"});
    const ScriptKey classKey =
        keyWith(kTransportClassIdText, kDescription,
                {keyWith("ProgID", kTransportProgId),
                 keyWith("VersionIndependentProgID", kTransportVersionIndependentProgId),
                 {"Programmable", {}, {}, Removal::ForceRemove},
                 std::move(inprocServer),
                 keyWith("TypeLib", kTransportTypeLibraryIdText)},
                Removal::ForceRemove);
    return {
        keyWith(kTransportProgId, kDescription, {keyWith("CLSID", kTransportClassIdText)}),
        keyWith(kTransportVersionIndependentProgId, kDescription,
                {keyWith("CLSID", kTransportClassIdText), keyWith("CurVer", kTransportProgId)}),
        {"CLSID", {}, {classKey}, Removal::NoRemove},
    };
}

#include "inproc/RegistryScript.h"

#include <string_view>
#include <utility>

#include "inproc/RegistryKey.h"

namespace {

constexpr std::string_view kModuleVariable = "%MODULE%";

std::string expand(const std::string& text, const std::string& modulePath) {
    std::string result;
    std::string::size_type start = 0;
    for (auto found = text.find(kModuleVariable); found != std::string::npos;
         found = text.find(kModuleVariable, start)) {
        result.append(text, start, found - start).append(modulePath);
        start = found + kModuleVariable.size();
    }
    return result.append(text, start);
}

HRESULT fromStatus(LSTATUS status) { return HRESULT_FROM_WIN32(static_cast<DWORD>(status)); }

HRESULT registerKey(HKEY parent, const ScriptKey& script, const std::string& modulePath) {
    if (script.removal == ScriptKey::Removal::ForceRemove) {
        const LSTATUS deleted = deleteKeyTree(parent, script.name);
        if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND) return fromStatus(deleted);
    }
    RegistryKey key;
    if (const LSTATUS status = RegistryKey::create(parent, script.name, key);
        status != ERROR_SUCCESS)
        return fromStatus(status);
    for (const ScriptValue& value : script.values)
        if (const LSTATUS status = key.setString(value.name, expand(value.data, modulePath));
            status != ERROR_SUCCESS)
            return fromStatus(status);
    for (const ScriptKey& subkey : script.subkeys)
        if (const HRESULT result = registerKey(key.get(), subkey, modulePath); FAILED(result))
            return result;
    return S_OK;
}

HRESULT unregisterKey(HKEY parent, const ScriptKey& script) {
    HRESULT result = S_OK;
    {
        RegistryKey key;
        if (RegistryKey::open(parent, script.name, key) != ERROR_SUCCESS) return S_OK;
        for (const ScriptKey& subkey : script.subkeys)
            if (const HRESULT removed = unregisterKey(key.get(), subkey); FAILED(removed))
                result = removed;
        // A key that stays for another component's subkeys keeps nothing of ours, not even its
        // default value; a shared key keeps its default value.
        const bool shared = script.removal == ScriptKey::Removal::NoRemove;
        for (const ScriptValue& value : script.values)
            if (!shared || !value.name.empty()) key.deleteValue(value.name);
        if (shared || key.hasSubkeys()) return result;
    }
    const LSTATUS status = RegDeleteKeyA(parent, script.name.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? result : fromStatus(status);
}

}  // namespace

HRESULT registerScript(HKEY root, const std::vector<ScriptKey>& keys,
                       const std::string& modulePath) {
    for (const ScriptKey& key : keys)
        if (const HRESULT result = registerKey(root, key, modulePath); FAILED(result))
            return result;
    return S_OK;
}

HRESULT unregisterScript(HKEY root, const std::vector<ScriptKey>& keys) {
    HRESULT result = S_OK;
    for (const ScriptKey& key : keys)
        if (const HRESULT removed = unregisterKey(root, key); FAILED(removed)) result = removed;
    return result;
}

namespace {

using Removal = ScriptKey::Removal;

// A key whose default value is text.
ScriptKey keyWith(const std::string& name, const std::string& text,
                  std::vector<ScriptKey> subkeys = {}, Removal removal = Removal::Normal) {
    return {name, {{"", text}}, std::move(subkeys), removal};
}

}  // namespace

std::vector<ScriptKey> inprocClassScript(const ClassRegistration& registration) {
    const bool versioned = !registration.versionIndependentProgId.empty();
    std::vector<ScriptKey> classEntries{keyWith("ProgID", registration.progId)};
    if (versioned)
        classEntries.push_back(
            keyWith("VersionIndependentProgID", registration.versionIndependentProgId));
    classEntries.push_back({"Programmable", {}, {}, Removal::ForceRemove});
    ScriptKey inprocServer = keyWith("InprocServer32", "%MODULE%");
    inprocServer.values.push_back({"ThreadingModel", "Apartment"});
    classEntries.push_back(std::move(inprocServer));
    if (!registration.typeLibraryId.empty())
        classEntries.push_back(keyWith("TypeLib", registration.typeLibraryId));

    std::vector<ScriptKey> script{keyWith(registration.progId, registration.description,
                                          {keyWith("CLSID", registration.classId)})};
    if (versioned)
        script.push_back(keyWith(
            registration.versionIndependentProgId, registration.description,
            {keyWith("CLSID", registration.classId), keyWith("CurVer", registration.progId)}));
    script.push_back({"CLSID",
                      {},
                      {keyWith(registration.classId, registration.description,
                               std::move(classEntries), Removal::ForceRemove)},
                      Removal::NoRemove});
    return script;
}

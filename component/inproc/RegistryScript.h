// Registry entries described as a tree of keys, written on registration and removed again on
// unregistration, the way a component's registration script describes them.
#pragma once

#include <string>
#include <vector>

#include <velcom/com.h>

struct ScriptValue {
    std::string name;  // empty: the key's default value
    std::string data;  // a string; "%MODULE%" stands for the library's path
};

struct ScriptKey {
    enum class Removal {
        // Deleted on unregistration once no subkeys are left below it.
        Normal,
        // Deleted with all its subkeys before registration writes it again.
        ForceRemove,
        // Never deleted: it is shared with other components.
        NoRemove,
    };

    std::string name;
    std::vector<ScriptValue> values;
    std::vector<ScriptKey> subkeys;
    Removal removal = Removal::Normal;
};

// Creates each key below root (opening those that exist), deleting the force-remove ones with
// their subkeys first, and writes the values with "%MODULE%" replaced by modulePath. The first
// failure ends the walk; its registry error is returned as an HRESULT.
HRESULT registerScript(HKEY root, const std::vector<ScriptKey>& keys,
                       const std::string& modulePath);

// Walks the same keys bottom-up: deletes the values of the script (the default value of a
// no-remove key excepted), and each key that is not no-remove once it has no subkeys left. Keys
// that are missing or still hold subkeys from elsewhere are left alone; S_OK unless a key could not
// be deleted for another reason.
HRESULT unregisterScript(HKEY root, const std::vector<ScriptKey>& keys);

// What an in-process class announces in HKEY_CLASSES_ROOT, by the component's conventions: its
// ProgID, and when given a version-independent ProgID naming it as current; the class key with
// the library as in-process server, threading model "Apartment", "Programmable", and the type
// library when given.
struct ClassRegistration {
    std::string classId;
    std::string description;
    std::string progId;
    std::string versionIndependentProgId;  // empty: none
    std::string typeLibraryId;             // empty: none
};

std::vector<ScriptKey> inprocClassScript(const ClassRegistration& registration);

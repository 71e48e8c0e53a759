#include "ModuleCache.h"

#include <dlfcn.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include <velcom/win32.h>

#include <velcom/posix/objbase.h>

namespace velcom::detail {
namespace {

struct LibraryCloser {
    void operator()(void* handle) const { dlclose(handle); }
};
using LibraryHandle = std::unique_ptr<void, LibraryCloser>;

template <class Function>
Function exported(void* handle, const char* name) {
    return reinterpret_cast<Function>(dlsym(handle, name));
}

struct Module {
    LibraryHandle handle;
    LPFNGETCLASSOBJECT getClassObject;
    // Optional: a module without it cannot say it is unused, so it stays loaded.
    LPFNCANUNLOADNOW canUnloadNow;
};

// Foreign code (DllGetClassObject, DllCanUnloadNow) is never called under the lock, so a module
// may activate other classes from there. Instead every call into a module counts as a use: a
// module in use, or used while its DllCanUnloadNow was being asked, is not unloaded, because an
// object it is creating may not be counted by the module yet.
class ModuleCache {
public:
    ModuleCache() = default;
    ModuleCache(const ModuleCache&) = delete;
    ModuleCache& operator=(const ModuleCache&) = delete;
    // Objects from a module may still be released by static destructors that run after this
    // one, so at exit the libraries stay mapped, as the system leaves libraries at process exit.
    ~ModuleCache() {
        for (auto& [path, entry] : m_entries) static_cast<void>(entry.module->handle.release());
    }

    HRESULT getClassObject(const std::string& path, REFCLSID clsid, REFIID riid, void** object,
                           const registry::RegistryVersion& read) {
        std::shared_ptr<Module> module = beginCall(path, nullptr);
        if (!module) {
            // Loading runs the module's static constructors, which are foreign code too. When
            // another thread loads the same path meanwhile, its entry wins and this handle only
            // drops the extra reference dlopen counted.
            std::shared_ptr<Module> loaded;
            if (const HRESULT result = load(path, loaded); FAILED(result)) return result;
            module = beginCall(path, std::move(loaded));
        }
        const HRESULT result = module->getClassObject(clsid, riid, object);
        const registry::RegistryVersion now = registry::registryVersion();
        std::lock_guard lock(m_mutex);
        const auto entry = m_entries.find(path);
        --entry->second.callsInProgress;
        if (SUCCEEDED(result) && now == read && takeVersion(now) && !findClass(clsid))
            m_classes.push_back({clsid, entry});
        return result;
    }

    std::optional<HRESULT> getClassObjectOfLoadedClass(REFCLSID clsid, REFIID riid, void** object) {
        const registry::RegistryVersion now = registry::registryVersion();
        Entries::iterator entry;
        {
            std::lock_guard lock(m_mutex);
            const KnownClass* known = takeVersion(now) ? findClass(clsid) : nullptr;
            if (known == nullptr) return std::nullopt;
            entry = known->entry;
            countCall(entry);
        }
        // An entry with a call in progress stays; its module is held by the entry.
        const HRESULT result = entry->second.module->getClassObject(clsid, riid, object);
        std::lock_guard lock(m_mutex);
        --entry->second.callsInProgress;
        return result;
    }

    std::optional<CLSID> loadedClassOfProgId(const std::string& progId) {
        const registry::RegistryVersion now = registry::registryVersion();
        std::lock_guard lock(m_mutex);
        // The version first: a new one empties the names before they are searched.
        if (!takeVersion(now)) return std::nullopt;
        const auto found = m_progIds.find(progId);
        if (found == m_progIds.end() || !findClass(found->second)) return std::nullopt;
        return found->second;
    }

    void rememberClassOfProgId(const std::string& progId, REFCLSID clsid,
                               const registry::RegistryVersion& read) {
        const registry::RegistryVersion now = registry::registryVersion();
        std::lock_guard lock(m_mutex);
        if (now == read && takeVersion(now)) m_progIds.insert_or_assign(progId, clsid);
    }

    void freeUnused() {
        struct Candidate {
            std::string path;
            std::shared_ptr<Module> module;
            unsigned long long usesBefore;
        };
        std::vector<Candidate> candidates;
        {
            std::lock_guard lock(m_mutex);
            for (const auto& [path, entry] : m_entries)
                if (entry.callsInProgress == 0)
                    candidates.push_back({path, entry.module, entry.uses});
        }
        for (const Candidate& candidate : candidates) {
            const LPFNCANUNLOADNOW canUnloadNow = candidate.module->canUnloadNow;
            if (canUnloadNow == nullptr || canUnloadNow() != S_OK) continue;
            std::lock_guard lock(m_mutex);
            const auto found = m_entries.find(candidate.path);
            if (found != m_entries.end() && found->second.module == candidate.module &&
                found->second.uses == candidate.usesBefore) {
                std::erase_if(m_classes,
                              [&](const KnownClass& each) { return each.entry == found; });
                m_entries.erase(found);
            }
        }
        // The last references go with the candidates: the libraries close here.
    }

private:
    struct Entry {
        std::shared_ptr<Module> module;
        unsigned callsInProgress = 0;
        unsigned long long uses = 0;
    };
    using Entries = std::map<std::string, Entry>;

    // Counts a call into the module at path, adding the loaded one when the path has no entry;
    // null when there is neither.
    std::shared_ptr<Module> beginCall(const std::string& path, std::shared_ptr<Module> loaded) {
        std::lock_guard lock(m_mutex);
        auto found = m_entries.find(path);
        if (found == m_entries.end()) {
            if (!loaded) return nullptr;
            found = m_entries.emplace(path, Entry{std::move(loaded)}).first;
        }
        countCall(found);
        return found->second.module;
    }

    static void countCall(Entries::iterator entry) {
        ++entry->second.callsInProgress;
        ++entry->second.uses;
    }

    // A class whose module served it after the registry named that module.
    struct KnownClass {
        CLSID clsid;
        Entries::iterator entry;
    };

    const KnownClass* findClass(REFCLSID clsid) const {
        const auto found =
            std::find_if(m_classes.begin(), m_classes.end(),
                         [&](const KnownClass& each) { return each.clsid == clsid; });
        return found == m_classes.end() ? nullptr : &*found;
    }

    // Forgets what was read of another version of the registry; false when there is no registry.
    bool takeVersion(const registry::RegistryVersion& now) {
        if (now != m_version) {
            m_classes.clear();
            m_progIds.clear();
            m_version = now;
        }
        return now.path.has_value();
    }

    static HRESULT load(const std::string& path, std::shared_ptr<Module>& module) {
        // dlopen("") would hand back the main program.
        if (path.empty()) return CO_E_DLLNOTFOUND;
        LibraryHandle handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
        if (!handle) return CO_E_DLLNOTFOUND;
        const auto getClassObject = exported<LPFNGETCLASSOBJECT>(handle.get(), "DllGetClassObject");
        if (getClassObject == nullptr) return CO_E_ERRORINDLL;
        const auto canUnloadNow = exported<LPFNCANUNLOADNOW>(handle.get(), "DllCanUnloadNow");
        module = std::make_shared<Module>(Module{std::move(handle), getClassObject, canUnloadNow});
        return S_OK;
    }

    std::mutex m_mutex;
    Entries m_entries;
    // Few classes and names: a host creates a handful of kinds of object.
    std::vector<KnownClass> m_classes;
    std::map<std::string, CLSID> m_progIds;
    registry::RegistryVersion m_version;
};

ModuleCache& moduleCache() {
    static ModuleCache cache;
    return cache;
}

}  // namespace

HRESULT getClassObjectFromModule(const std::string& path, REFCLSID clsid, REFIID riid,
                                 void** object, const registry::RegistryVersion& read) {
    return moduleCache().getClassObject(path, clsid, riid, object, read);
}

std::optional<HRESULT> getClassObjectOfLoadedClass(REFCLSID clsid, REFIID riid, void** object) {
    return moduleCache().getClassObjectOfLoadedClass(clsid, riid, object);
}

std::optional<CLSID> loadedClassOfProgId(const std::string& progId) {
    return moduleCache().loadedClassOfProgId(progId);
}

void rememberClassOfProgId(const std::string& progId, REFCLSID clsid,
                           const registry::RegistryVersion& read) {
    moduleCache().rememberClassOfProgId(progId, clsid, read);
}

}  // namespace velcom::detail

extern "C" void CoFreeUnusedLibraries() { velcom::detail::moduleCache().freeUnused(); }

// Modules through the dynamic loader. A handle is what dlopen returns, so dlsym, dlinfo and dlclose
// take it as it is.
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <velcom/win32.h>

namespace {

void* handleOf(HMODULE module) { return static_cast<void*>(module); }

HMODULE moduleOf(void* handle) { return static_cast<HMODULE>(handle); }

std::string mainProgramPath() {
    std::string path(PATH_MAX, '\0');
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0) return std::string();
    path.resize(static_cast<std::size_t>(length));
    return path;
}

// The loader keeps the name a module was opened by; a relative one is made absolute.
std::string pathOf(void* handle) {
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return std::string();
    const char* name = map->l_name;
    if (name == nullptr || *name == '\0') return mainProgramPath();
    if (*name == '/') return name;
    const std::unique_ptr<char, decltype(&std::free)> absolute(realpath(name, nullptr), &std::free);
    return absolute ? std::string(absolute.get()) : std::string(name);
}

}  // namespace

extern "C" HMODULE LoadLibraryA(LPCSTR fileName) {
    if (fileName == nullptr || *fileName == '\0') {
        errno = EINVAL;
        return nullptr;
    }
    // A relative path is relative to the working directory of the moment, so the loader gets
    // the absolute one and reports the module by it later.
    const bool relativePath = *fileName != '/' && std::strchr(fileName, '/') != nullptr;
    const std::unique_ptr<char, decltype(&std::free)> absolute(
        relativePath ? realpath(fileName, nullptr) : nullptr, &std::free);
    void* handle = dlopen(absolute ? absolute.get() : fileName, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        struct stat status {};
        errno = std::strchr(fileName, '/') != nullptr && stat(fileName, &status) != 0 ? ENOENT
                                                                                      : ENOEXEC;
    }
    return moduleOf(handle);
}

extern "C" BOOL FreeLibrary(HMODULE module) {
    if (module == nullptr) {
        errno = EINVAL;
        return FALSE;
    }
    return dlclose(handleOf(module)) == 0 ? TRUE : FALSE;
}

extern "C" FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
    if (module == nullptr || procName == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    void* symbol = dlsym(handleOf(module), procName);
    if (symbol == nullptr) errno = ENOENT;
    return reinterpret_cast<FARPROC>(symbol);
}

extern "C" HMODULE GetModuleHandleA(LPCSTR moduleName) {
    void* handle = dlopen(moduleName, RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) {
        errno = ENOENT;
        return nullptr;
    }
    // The module stays loaded by whoever loaded it; this look-up keeps no reference of its own.
    dlclose(handle);
    return moduleOf(handle);
}

extern "C" BOOL GetModuleHandleExA(DWORD flags, LPCSTR moduleName, HMODULE* module) {
    if (module == nullptr) {
        errno = EINVAL;
        return FALSE;
    }
    *module = nullptr;
    if ((flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) == 0 || moduleName == nullptr) {
        errno = EINVAL;
        return FALSE;
    }
    Dl_info info{};
    link_map* map = nullptr;
    if (dladdr1(moduleName, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 ||
        map == nullptr) {
        errno = ENOENT;
        return FALSE;
    }
    // Opening what is loaded already counts a reference and hands out its handle.
    const bool mainProgram = map->l_name == nullptr || *map->l_name == '\0';
    void* handle = dlopen(mainProgram ? nullptr : map->l_name, RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) {
        errno = ENOENT;
        return FALSE;
    }
    if ((flags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) != 0) dlclose(handle);
    *module = moduleOf(handle);
    return TRUE;
}

extern "C" DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
    if (fileName == nullptr) {
        errno = EINVAL;
        return 0;
    }
    const std::string path = module == nullptr ? mainProgramPath() : pathOf(handleOf(module));
    if (path.empty()) {
        errno = ENOENT;
        return 0;
    }
    if (size == 0) {
        errno = ERANGE;
        return 0;
    }
    if (path.size() < size) {
        std::memcpy(fileName, path.c_str(), path.size() + 1);
        return static_cast<DWORD>(path.size());
    }
    std::memcpy(fileName, path.data(), size - 1);
    fileName[size - 1] = '\0';
    errno = ERANGE;
    return size;
}

#include "FileBytes.h"

#include <memory>

#include "SystemFailure.h"

namespace {

struct HandleClose {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using FileHandle = std::unique_ptr<void, HandleClose>;

FileHandle opened(const std::string& path, DWORD access, DWORD disposition) {
    const HANDLE handle = CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) failLastError("opening " + path);
    return FileHandle(handle);
}

}  // namespace

std::string readFileBytes(const std::string& path) {
    if (path.empty()) failWith(E_INVALIDARG, "no file name");
    const FileHandle file = opened(path, GENERIC_READ, OPEN_EXISTING);
    LARGE_INTEGER size{};
    checkSystem(GetFileSizeEx(file.get(), &size), "reading the size of " + path);
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    checkSystem(
        ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr),
        "reading " + path);
    bytes.resize(read);
    return bytes;
}

void writeFileBytes(const std::string& path, const std::string& bytes) {
    if (path.empty()) failWith(E_INVALIDARG, "no file name");
    const FileHandle file = opened(path, GENERIC_WRITE, CREATE_ALWAYS);
    DWORD written = 0;
    checkSystem(
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr),
        "writing " + path);
    if (written != bytes.size()) failWith(E_FAIL, "writing " + path + " stopped short");
}

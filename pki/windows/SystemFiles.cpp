#include "SystemFiles.h"

#include <memory>

#include "SystemFailure.h"

namespace {

struct HandleClose {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using FileHandle = std::unique_ptr<void, HandleClose>;

FileHandle openFile(const std::filesystem::path& path, DWORD access, DWORD disposition,
                    const std::string& what) {
    HANDLE handle = CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) failSystem(what + " " + path.string());
    return FileHandle(handle);
}

}  // namespace

std::string readFileBytes(const std::filesystem::path& path) {
    const FileHandle file = openFile(path, GENERIC_READ, OPEN_EXISTING, "opening");
    LARGE_INTEGER size{};
    checkSystem(GetFileSizeEx(file.get(), &size), "sizing " + path.string());
    // The component's files are certificates, lists and keys, far below what one read takes.
    if (size.QuadPart > 64 * 1024 * 1024)
        throw PkiFailure(E_INVALIDARG, path.string() + " is too large for a certificate file");
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    checkSystem(
        ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr),
        "reading " + path.string());
    bytes.resize(read);
    return bytes;
}

void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::path temporary = path;
    temporary += L".partial";
    DWORD error = ERROR_SUCCESS;
    {
        const FileHandle file = openFile(temporary, GENERIC_WRITE, CREATE_ALWAYS, "creating");
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr) ||
            !FlushFileBuffers(file.get()))
            error = GetLastError();
    }
    if (error == ERROR_SUCCESS && !MoveFileExW(temporary.c_str(), path.c_str(),
                                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = GetLastError();
    if (error == ERROR_SUCCESS) return;
    DeleteFileW(temporary.c_str());
    SetLastError(error);
    failSystem("writing " + path.string());
}

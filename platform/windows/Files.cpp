#include <velcom/Files.h>

#include <cstdio>

namespace velcom {

std::string joinPath(std::string_view directory, std::string_view name) {
    std::string path(directory);
    path += '\\';
    path += name;
    return path;
}

// The temporary directory is the user's own; the file inherits its access rights.
bool writeOwnerOnlyFile(const std::string& path, std::initializer_list<std::string_view> parts) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool written = true;
    for (const std::string_view part : parts)
        written = written && std::fwrite(part.data(), 1, part.size(), file) == part.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace velcom

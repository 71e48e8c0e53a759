#include "module/TypeLibraryPaths.h"

namespace {

constexpr char kSeparators[] = "\\/:";

}  // namespace

std::string helpDirectoryOf(const std::string& path) {
    const auto separator = path.find_last_of(kSeparators);
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

std::string typeLibraryFileBeside(const std::string& path) {
    const auto separator = path.find_last_of(kSeparators);
    const auto nameStart = separator == std::string::npos ? 0 : separator + 1;
    const auto dot = path.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot >= nameStart;
    return (hasExtension ? path.substr(0, dot) : path) + ".tlb";
}

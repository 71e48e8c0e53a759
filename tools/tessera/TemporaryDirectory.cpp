#include "TemporaryDirectory.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "CommandFailure.h"

TemporaryDirectory::TemporaryDirectory(const std::string& prefix) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + prefix + "-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr)
        throw CommandFailure(ExitCode::Failed, "cannot make a temporary directory " + pattern);
    m_path = name.data();
}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

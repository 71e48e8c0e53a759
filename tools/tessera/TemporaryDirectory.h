// A private directory (mode 0700) removed with everything in it when the object goes.
#pragma once

#include <string>

class TemporaryDirectory {
public:
    explicit TemporaryDirectory(const std::string& prefix);
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    ~TemporaryDirectory();
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

#include "ResidentMemory.h"

#include <fstream>
#include <string>

namespace {

// A line of /proc/self/status such as "VmHWM:    13556 kB", in bytes; 0 when it is missing.
std::size_t statusBytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    const std::string prefix = field + ":";
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, prefix.size(), prefix) == 0)
            return std::stoull(line.substr(prefix.size())) * 1024;
    return 0;
}

}  // namespace

std::size_t residentBytes() { return statusBytes("VmRSS"); }

std::size_t residentBytesPeak() { return statusBytes("VmHWM"); }

bool resetResidentPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    return static_cast<bool>(clear << "5" << std::flush);
}

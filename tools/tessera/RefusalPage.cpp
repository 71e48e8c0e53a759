#include "RefusalPage.h"

#include <string_view>

namespace {

// The value of the first line "name=value", without its line end.
std::optional<std::string> lineValue(std::string_view page, std::string_view name) {
    for (std::size_t start = 0; start < page.size();) {
        const std::size_t end = std::min(page.find('\n', start), page.size());
        std::string_view line = page.substr(start, end - start);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (line.size() > name.size() && line.starts_with(name) && line[name.size()] == '=')
            return std::string(line.substr(name.size() + 1));
        start = end + 1;
    }
    return std::nullopt;
}

}  // namespace

std::optional<PageRefusal> refusalIn(const std::string& page) {
    const std::optional<std::string> status = lineValue(page, "Status");
    if (!status || *status == "100") return std::nullopt;
    return PageRefusal{*status, lineValue(page, "ErrorMessage").value_or("")};
}

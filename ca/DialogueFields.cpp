#include "ca/DialogueFields.h"

#include <charconv>

#include "Utility/NoCase.h"

namespace ca {

std::string fieldOf(const Fields& fields, const std::string& name) {
    const auto found = fields.find(name);
    return found != fields.end() ? found->second : std::string();
}

bool accepted(std::string_view answer) {
    return equalsNoCase(answer, "yes") == 0 || equalsNoCase(answer, "on") == 0;
}

std::string joinList(const std::vector<std::string>& entries) {
    std::string list;
    for (const std::string& entry : entries) list += (list.empty() ? "" : "+") + entry;
    return list;
}

std::vector<std::string> splitList(std::string_view list) {
    std::vector<std::string> entries;
    if (list.empty()) return entries;
    for (std::size_t from = 0;;) {
        const std::size_t plus = list.find('+', from);
        entries.emplace_back(list.substr(from, plus - from));
        if (plus == std::string_view::npos) return entries;
        from = plus + 1;
    }
}

std::optional<std::string> entryAt(std::string_view list, std::string_view position) {
    std::size_t index = 0;
    const auto [end, error] =
        std::from_chars(position.data(), position.data() + position.size(), index);
    const std::vector<std::string> entries = splitList(list);
    if (position.empty() || error != std::errc() || end != position.data() + position.size() ||
        index >= entries.size())
        return std::nullopt;
    return entries[index];
}

}  // namespace ca

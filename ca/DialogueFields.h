// The form fields and "+"-separated lists the pages exchange with the client.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ca/Base64.h"
#include "ca/Dialogue.h"

namespace ca {

inline constexpr const char* kLanguageField = "-ident_lang";
inline constexpr const char* kLanguage = "en";

// The field's value; empty when the client did not send it.
std::string fieldOf(const Fields& fields, const std::string& name);
// Whether a yes/no field says yes, as the client ("yes") or a browser's check box ("on") does.
bool accepted(std::string_view answer);
std::string joinList(const std::vector<std::string>& entries);
std::vector<std::string> splitList(std::string_view list);
// The entry at the decimal position `position`; none when either does not make sense.
std::optional<std::string> entryAt(std::string_view list, std::string_view position);

}  // namespace ca

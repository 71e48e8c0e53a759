// Base64 as the pages and forms carry it: one unbroken line out, any white space accepted in.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ca {

std::string encodeBase64(std::string_view bytes);
// None when the text, once its white space is removed, is not Base64.
std::optional<std::string> decodeBase64(std::string_view text);

}  // namespace ca

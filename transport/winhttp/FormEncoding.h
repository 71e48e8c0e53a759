// The form of name/value fields as application/x-www-form-urlencoded text. The texts go to UTF-8,
// as the POSIX transport sends them, and everything but the unreserved characters of RFC 3986
// becomes %XX, as libcurl escapes. Windows offers UrlEscapeW(URL_ESCAPE_URI_COMPONENT) for this,
// but Wine's ignores that flag (it leaves "&", "=", "+" and "/" alone), so this build escapes for
// itself.
#pragma once

#include <string>
#include <vector>

// name=value pairs joined by "&". A last name without its value is sent with an empty one.
std::string encodeForm(const std::vector<std::string>& fields);

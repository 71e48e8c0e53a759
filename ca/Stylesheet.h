// The one stylesheet of every page, served by itself so that a browser fetches it once.
#pragma once

namespace ca {

inline constexpr const char* kStylesheetAddress = "/style.css";
inline constexpr const char* kStylesheetType = "text/css; charset=utf-8";

extern const char* const kStylesheet;

}  // namespace ca

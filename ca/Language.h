// The languages the pages are written in for people. The markup for the client is the same in
// every language.
#pragma once

#include <string_view>

namespace ca {

enum class Language { English, German };

// The form's own choice when it names a language we write, else the one the browser weighs
// highest of those we write, else English.
Language chooseLanguage(std::string_view field, std::string_view acceptLanguage);

// "en" or "de", as a form field or a page's lang attribute names it.
const char* codeOf(Language language);

}  // namespace ca

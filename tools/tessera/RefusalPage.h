// The Status and ErrorMessage of a refusal page, read from its markup lines. A start address
// that the authority does not know is answered with such a page in place of a start page, and the
// component, which only looks for the start page, does not report it.
#pragma once

#include <optional>
#include <string>

struct PageRefusal {
    std::string status, message;
};

// None when the page names no Status or Status 100 (success).
std::optional<PageRefusal> refusalIn(const std::string& page);

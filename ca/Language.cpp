#include "ca/Language.h"

#include <charconv>
#include <optional>

#include "Utility/NoCase.h"

namespace ca {
namespace {

constexpr Language kLanguages[] = {Language::English, Language::German};

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == text.npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") + 1 - first);
}

// The language of a tag ("de", "de-AT", "EN"); none for any other, "*" included.
std::optional<Language> languageOf(std::string_view tag) {
    const std::string_view primary = tag.substr(0, tag.find('-'));
    for (const Language language : kLanguages)
        if (equalsNoCase(primary, codeOf(language)) == 0) return language;
    return std::nullopt;
}

// The weight of one entry's parameters ("q=0.8"); 1 without one, none when it is unreadable.
std::optional<double> weightOf(std::string_view parameters) {
    parameters = trimmed(parameters);
    if (parameters.empty()) return 1.0;
    if (parameters.size() < 2 || (parameters[0] != 'q' && parameters[0] != 'Q') ||
        parameters[1] != '=')
        return std::nullopt;
    const std::string_view number = trimmed(parameters.substr(2));
    double weight = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), weight);
    if (number.empty() || error != std::errc() || end != number.data() + number.size() ||
        weight < 0 || weight > 1)
        return std::nullopt;
    return weight;
}

}  // namespace

Language chooseLanguage(std::string_view field, std::string_view acceptLanguage) {
    if (const std::optional<Language> chosen = languageOf(trimmed(field))) return *chosen;
    Language best = Language::English;
    double bestWeight = 0;
    while (!acceptLanguage.empty()) {
        const std::size_t comma = acceptLanguage.find(',');
        const std::string_view entry = acceptLanguage.substr(0, comma);
        acceptLanguage = comma == acceptLanguage.npos ? "" : acceptLanguage.substr(comma + 1);
        const std::size_t semicolon = entry.find(';');
        const std::optional<Language> language = languageOf(trimmed(entry.substr(0, semicolon)));
        const std::optional<double> weight =
            weightOf(semicolon == entry.npos ? "" : entry.substr(semicolon + 1));
        if (language && weight && *weight > bestWeight) {
            best = *language;
            bestWeight = *weight;
        }
    }
    return best;
}

const char* codeOf(Language language) { return language == Language::German ? "de" : "en"; }

}  // namespace ca

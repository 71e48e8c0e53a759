// The part of a page a person reads. Every text is escaped as it is added, so that nothing an
// applicant's data or a request holds becomes markup, and no text can open a comment the client
// would read as a block of its own.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ca {

std::string escapeHtml(std::string_view text);

struct Input {
    enum class Kind { Hidden, Text, Password, Checkbox, TextArea };
    Kind kind;
    std::string name;
    std::string value{};
    std::string label{};
};

// A form that posts its inputs to `url`; a person sends it with its one button.
struct Form {
    std::string url;
    std::string button;
    std::vector<Input> inputs{};
};

struct Link {
    std::string url;
    std::string text;
    // A sentence after the link.
    std::string note{};
    // The file name a browser saves the target as; empty opens it.
    std::string download{};
};

// One row of a table; its form, when it has one, is a button in the last column.
struct Row {
    std::vector<std::string> cells;
    std::optional<Form> form{};
};

using Facts = std::vector<std::pair<std::string, std::string>>;

class Html {
public:
    Html& heading(std::string_view text);
    // `language` marks a text in another language than the page's ("en").
    Html& paragraph(std::string_view text, std::string_view language = {});
    // Text a person copies as it is: commands, PEM.
    Html& preformatted(std::string_view text);
    // Labels and their values.
    Html& facts(const Facts& rows);
    Html& table(const std::vector<std::string>& head, const std::vector<Row>& rows);
    Html& links(const std::vector<Link>& links);
    Html& form(const Form& form);

    const std::string& text() const { return m_text; }

private:
    std::string m_text;
};

}  // namespace ca

#include "ca/Html.h"

namespace ca {
namespace {

std::string element(std::string_view tag, std::string_view content) {
    return "<" + std::string(tag) + ">" + std::string(content) + "</" + std::string(tag) + ">";
}

std::string input(const Input& field) {
    const std::string name = " name=\"" + escapeHtml(field.name) + "\"";
    const std::string label = escapeHtml(field.label);
    switch (field.kind) {
        case Input::Kind::Hidden:
            return "<input type=\"hidden\"" + name + " value=\"" + escapeHtml(field.value) +
                   "\">\n";
        case Input::Kind::Text:
        case Input::Kind::Password:
            return "<label>" + label + "<input type=\"" +
                   (field.kind == Input::Kind::Text
                        ? "text\" autocomplete=\"off\""
                        : "password\" autocomplete=\"current-password\"") +
                   name + " required></label>\n";
        case Input::Kind::Checkbox:
            return "<label class=\"check\"><input type=\"checkbox\"" + name + " value=\"yes\"" +
                   " required>" + label + "</label>\n";
        case Input::Kind::TextArea:
            return "<label>" + label + "<textarea" + name +
                   " rows=\"6\" required></textarea></label>\n";
    }
    return "";
}

}  // namespace

std::string escapeHtml(std::string_view text) {
    std::string escaped;
    for (const char character : text) {
        switch (character) {
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '&':
                escaped += "&amp;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&#39;";
                break;
            default:
                escaped += character;
        }
    }
    return escaped;
}

Html& Html::heading(std::string_view text) {
    m_text += element("h2", escapeHtml(text)) + "\n";
    return *this;
}

Html& Html::paragraph(std::string_view text, std::string_view language) {
    m_text += language.empty() ? "<p>" : "<p lang=\"" + escapeHtml(language) + "\">";
    m_text += escapeHtml(text) + "</p>\n";
    return *this;
}

Html& Html::preformatted(std::string_view text) {
    m_text += element("pre", escapeHtml(text)) + "\n";
    return *this;
}

Html& Html::facts(const Facts& rows) {
    std::string body;
    for (const auto& [label, value] : rows)
        body += "<tr><th scope=\"row\">" + escapeHtml(label) + "</th>" +
                element("td", escapeHtml(value)) + "</tr>\n";
    m_text += "<table class=\"facts\">\n" + body + "</table>\n";
    return *this;
}

Html& Html::table(const std::vector<std::string>& head, const std::vector<Row>& rows) {
    std::string header, body;
    for (const std::string& cell : head)
        header += "<th scope=\"col\">" + escapeHtml(cell) + "</th>";
    for (const Row& row : rows) {
        body += "<tr>";
        // Narrow screens show each cell under its column's name.
        for (std::size_t column = 0; column < row.cells.size(); ++column)
            body += "<td data-label=\"" +
                    escapeHtml(column < head.size() ? head[column] : std::string()) + "\">" +
                    escapeHtml(row.cells[column]) + "</td>";
        if (row.form) {
            Html button;
            button.form(*row.form);
            body += element("td", button.text());
        }
        body += "</tr>\n";
    }
    m_text += "<div class=\"wide\"><table>\n<thead><tr>" + header + "</tr></thead>\n<tbody>\n" +
              body + "</tbody>\n</table></div>\n";
    return *this;
}

Html& Html::links(const std::vector<Link>& links) {
    m_text += "<ul class=\"links\">\n";
    for (const Link& link : links) {
        m_text += "<li><a href=\"" + escapeHtml(link.url) + "\"";
        if (!link.download.empty()) m_text += " download=\"" + escapeHtml(link.download) + "\"";
        m_text += ">" + escapeHtml(link.text) + "</a>";
        if (!link.note.empty()) m_text += " " + element("span", escapeHtml(link.note));
        m_text += "</li>\n";
    }
    m_text += "</ul>\n";
    return *this;
}

Html& Html::form(const Form& form) {
    m_text += "<form method=\"post\" action=\"" + escapeHtml(form.url) + "\">\n";
    for (const Input& field : form.inputs) m_text += input(field);
    m_text += "<button type=\"submit\">" + escapeHtml(form.button) + "</button>\n</form>\n";
    return *this;
}

}  // namespace ca

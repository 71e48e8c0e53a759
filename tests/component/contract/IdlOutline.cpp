#include "component/contract/IdlOutline.h"

#include <cctype>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

std::string withoutComments(const std::string& text) {
    std::string result;
    for (std::size_t i = 0; i < text.size();) {
        if (text.compare(i, 2, "//") == 0) {
            i = text.find('\n', i);
            if (i == std::string::npos) break;
        } else if (text.compare(i, 2, "/*") == 0) {
            i = text.find("*/", i);
            if (i == std::string::npos) throw std::runtime_error("unterminated comment");
            i += 2;
        } else {
            result += text[i++];
        }
    }
    return result;
}

// Removes help strings, which may hold any character.
std::string withoutStrings(const std::string& text) {
    std::string result;
    bool quoted = false;
    for (const char c : text) {
        if (c == '"') quoted = !quoted;
        if (!quoted && c != '"') result += c;
    }
    return result;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// Splits at the commas that are not inside brackets or parentheses.
std::vector<std::string> splitTopLevel(const std::string& text) {
    std::vector<std::string> parts;
    std::string current;
    int depth = 0;
    for (const char c : text) {
        if (c == '[' || c == '(') ++depth;
        if (c == ']' || c == ')') --depth;
        if (c == ',' && depth == 0) {
            parts.push_back(trimmed(current));
            current.clear();
        } else {
            current += c;
        }
    }
    if (!trimmed(current).empty()) parts.push_back(trimmed(current));
    return parts;
}

std::string between(const std::string& text, std::size_t& position, char open, char close) {
    const std::size_t begin = text.find(open, position);
    const std::size_t end = text.find(close, begin);
    if (begin == std::string::npos || end == std::string::npos)
        throw std::runtime_error(std::string("expected ") + open + "..." + close);
    position = end + 1;
    return text.substr(begin + 1, end - begin - 1);
}

std::string lastWord(const std::string& text) {
    std::size_t end = text.size();
    while (end > 0 && std::isalnum(static_cast<unsigned char>(text[end - 1])) == 0 &&
           text[end - 1] != '_')
        --end;
    std::size_t begin = end;
    while (begin > 0 && (std::isalnum(static_cast<unsigned char>(text[begin - 1])) != 0 ||
                         text[begin - 1] == '_'))
        --begin;
    return text.substr(begin, end - begin);
}

OutlineParam readParam(const std::string& text) {
    std::size_t position = 0;
    OutlineParam param{lastWord(text), 0};
    for (const std::string& attribute : splitTopLevel(between(text, position, '[', ']'))) {
        if (attribute == "in") param.flags |= velcom::kParamIn;
        if (attribute == "out") param.flags |= velcom::kParamOut;
        if (attribute == "retval") param.flags |= velcom::kParamRetval;
        if (attribute == "optional") param.flags |= velcom::kParamOptional;
    }
    return param;
}

DISPID readId(const std::string& text) {
    if (text == "DISPID_VALUE") return DISPID_VALUE;
    if (text == "DISPID_NEWENUM") return DISPID_NEWENUM;
    return static_cast<DISPID>(std::stol(text));
}

std::vector<OutlineMember> readMembers(const std::string& body) {
    std::vector<OutlineMember> members;
    std::size_t position = 0;
    while (body.find('[', position) != std::string::npos) {
        OutlineMember member{{}, 0, DISPATCH_METHOD, {}};
        for (const std::string& attribute : splitTopLevel(between(body, position, '[', ']'))) {
            if (attribute == "propget") member.kind = DISPATCH_PROPERTYGET;
            if (attribute == "propput") member.kind = DISPATCH_PROPERTYPUT;
            if (attribute.rfind("id(", 0) == 0)
                member.id = readId(attribute.substr(3, attribute.size() - 4));
        }
        const std::size_t open = body.find('(', position);
        member.name = lastWord(body.substr(position, open - position));
        for (const std::string& param : splitTopLevel(between(body, position, '(', ')')))
            member.params.push_back(readParam(param));
        members.push_back(std::move(member));
    }
    return members;
}

}  // namespace

std::vector<OutlineInterface> readIdlOutline(const std::string& path) {
    std::ifstream file(path);
    if (!file) throw std::runtime_error("cannot read " + path);
    std::stringstream buffer;
    buffer << file.rdbuf();
    const std::string text = withoutStrings(withoutComments(buffer.str()));

    // The library block runs from its opening brace to the "};" that closes it; interface
    // bodies hold no braces, so the first "};" at depth one ends it.
    const std::size_t libraryBegin = text.find("library ");
    std::size_t libraryEnd = libraryBegin;
    for (int depth = 0; libraryEnd < text.size(); ++libraryEnd) {
        if (text[libraryEnd] == '{') ++depth;
        if (text[libraryEnd] == '}' && --depth == 0) break;
    }

    std::vector<OutlineInterface> interfaces;
    for (std::size_t position = text.find("interface "); position != std::string::npos;
         position = text.find("interface ", position + 1)) {
        const std::size_t colon = text.find(':', position);
        const std::size_t semicolon = text.find(';', position);
        if (colon == std::string::npos || semicolon < colon) continue;  // a forward declaration
        std::size_t bodyPosition = colon;
        const std::string body = between(text, bodyPosition, '{', '}');
        interfaces.push_back({lastWord(text.substr(position, colon - position)),
                              position > libraryBegin && position < libraryEnd, readMembers(body)});
    }
    return interfaces;
}

// A deliberately plain reading of velTesseraComm.idl with regular expressions.
#include <cctype>
#include <fstream>
#include <regex>
#include <sstream>

#include "component/contract/ContractReading.h"

namespace {

// Every match of the expression in the text, which must outlive them.
std::vector<std::smatch> matches(const std::string& text, const char* expression) {
    const std::regex pattern(expression);
    return {std::sregex_iterator(text.begin(), text.end(), pattern), std::sregex_iterator()};
}

bool has(const std::string& attributes, const std::string& word) {
    return std::regex_search(attributes, std::regex("\\b" + word + "\\b"));
}

// Interfaces are the types that automation does not know by name.
std::string paramOf(const std::smatch& param, const std::map<std::string, VARTYPE>& automation) {
    const std::string attributes = param[1];
    const std::string type = param[2];
    const auto known = automation.find(type);
    const VARTYPE vt = known != automation.end() ? known->second : VARTYPE{VT_DISPATCH};
    const auto flags =
        static_cast<std::uint8_t>((has(attributes, "in") ? velcom::kParamIn : 0) |
                                  (has(attributes, "out") ? velcom::kParamOut : 0) |
                                  (has(attributes, "retval") ? velcom::kParamRetval : 0) |
                                  (has(attributes, "optional") ? velcom::kParamOptional : 0));
    return paramLine(vt, flags, vt == VT_DISPATCH ? type : "", static_cast<int>(param[3].length()));
}

}  // namespace

ContractReading readContract() {
    std::stringstream buffer;
    buffer << std::ifstream(VEL_CONTRACT_IDL).rdbuf();
    const std::string text = std::regex_replace(buffer.str(), std::regex("//.*"), "");
    if (text.empty()) throw std::runtime_error("cannot read " VEL_CONTRACT_IDL);
    // The library's block is the only one that closes in the first column.
    const auto libraryEnd = static_cast<std::ptrdiff_t>(text.find("\n}", text.find("library ")));

    ContractReading reading;
    std::map<std::string, VARTYPE> automation{{"long", VT_I4},
                                              {"short", VT_I2},
                                              {"BSTR", VT_BSTR},
                                              {"VARIANT", VT_VARIANT},
                                              {"IUnknown", VT_UNKNOWN}};
    for (const std::smatch& enumeration : matches(text, R"(enum (\w+) \{([^}]*)\})")) {
        automation[enumeration[1].str()] = VT_I4;
        const std::string values = enumeration[2];
        for (const std::smatch& value : matches(values, R"((\w+) = (-?\d+))"))
            reading.enumerators[value[1].str()] = std::stoi(value[2]);
    }
    const char* declaration = R"(\[([^\]]*)\]\s*(library|interface|coclass) (\w+))";
    for (const std::smatch& declared : matches(text, declaration)) {
        std::smatch uuid;
        const std::string attributes = declared[1];
        // A class's "[default] interface" names an interface without declaring one.
        if (!std::regex_search(attributes, uuid, std::regex(R"(uuid\(([-\w]+)\))"))) continue;
        std::string id = "{" + uuid[1].str() + "}";
        for (char& c : id) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        reading.ids[declared[3].str()] = id;
        if (declared[2] != "interface" || declared.position() > libraryEnd) continue;
        const std::size_t open = text.find('{', static_cast<std::size_t>(declared.position()));
        const std::string body = text.substr(open, text.find('}', open) - open);
        std::vector<std::string>& lines = reading.interfaces[declared[3].str()];
        for (const std::smatch& member :
             matches(body, R"(\[([^\]]*)\]\s*HRESULT (\w+)\(([^)]*)\))")) {
            const std::string memberAttributes = member[1];
            const std::string params = member[3];
            std::smatch dispid;
            std::regex_search(memberAttributes, dispid, std::regex(R"(id\((\w+)\))"));
            lines.push_back(memberLine(member[2].str(),
                                       dispid[1] == "DISPID_VALUE"     ? DISPID_VALUE
                                       : dispid[1] == "DISPID_NEWENUM" ? DISPID_NEWENUM
                                                                       : std::stoi(dispid[1]),
                                       has(memberAttributes, "propget")   ? DISPATCH_PROPERTYGET
                                       : has(memberAttributes, "propput") ? DISPATCH_PROPERTYPUT
                                                                          : DISPATCH_METHOD));
            for (const std::smatch& param : matches(params, R"(\[([^\]]*)\]\s*(\w+)\s*(\**))"))
                lines.back() += paramOf(param, automation);
        }
    }
    return reading;
}

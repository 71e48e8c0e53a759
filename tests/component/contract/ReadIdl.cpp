// A deliberately plain reading of velTesseraComm.idl with regular expressions.
#include <algorithm>
#include <cctype>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>

#include "component/contract/ContractReading.h"

namespace {

using Matches = std::sregex_iterator;

// The words of an attribute list, its strings left out.
std::set<std::string> wordsOf(const std::string& attributes) {
    static const std::regex string("\"[^\"]*\""), word(R"(\w+)");
    const std::string bare = std::regex_replace(attributes, string, "");
    std::set<std::string> words;
    for (Matches w(bare.begin(), bare.end(), word); w != Matches(); ++w) words.insert(w->str());
    return words;
}

std::string paramOf(const std::string& attributes, const std::string& type, std::size_t stars,
                    const std::set<std::string>& enumerations) {
    const std::set<std::string> words = wordsOf(attributes);
    const bool out = words.count("out") != 0;
    const std::uint8_t flags = (words.count("in") != 0 ? velcom::kParamIn : 0) |
                               (out ? velcom::kParamOut : 0) |
                               (words.count("retval") != 0 ? velcom::kParamRetval : 0) |
                               (words.count("optional") != 0 ? velcom::kParamOptional : 0);
    VARTYPE vt = VT_DISPATCH;
    if (type == "long" || enumerations.count(type) != 0) vt = VT_I4;
    if (type == "short") vt = VT_I2;
    if (type == "BSTR") vt = VT_BSTR;
    if (type == "VARIANT") vt = VT_VARIANT;
    if (type == "IUnknown") vt = VT_UNKNOWN;
    const bool isInterface = vt == VT_DISPATCH || vt == VT_UNKNOWN;
    // An interface is itself a pointer, so is an [out] parameter; an [in] VARIANT* takes any
    // argument.
    std::size_t references = stars - (isInterface ? 1 : 0) - (out ? 1 : 0);
    if (!out && vt == VT_VARIANT && references == 1) references = 0;
    if (references > 1) throw std::runtime_error("a parameter that automation cannot pass");
    if (references == 1) vt |= VT_BYREF;
    const bool named = isInterface && !out && type != "IUnknown" && type != "IDispatch";
    return paramText(vt, flags, named ? type : "");
}

std::string memberOf(const std::smatch& member, const std::set<std::string>& enumerations) {
    const std::set<std::string> words = wordsOf(member[1]);
    const WORD kind = words.count("propget") != 0   ? DISPATCH_PROPERTYGET
                      : words.count("propput") != 0 ? DISPATCH_PROPERTYPUT
                                                    : DISPATCH_METHOD;
    std::smatch id;
    const std::string attributes = member[1];
    std::regex_search(attributes, id, std::regex(R"(id\((\w+)\))"));
    const DISPID dispid = id[1] == "DISPID_VALUE"     ? DISPID_VALUE
                          : id[1] == "DISPID_NEWENUM" ? DISPID_NEWENUM
                                                      : std::stoi(id[1]);
    std::string line = memberLine(member[2].str(), dispid, kind);
    const std::string params = member[3];
    const std::regex param(R"(\[([^\]]*)\]\s*(\w+)\s*(\**))");
    for (Matches p(params.begin(), params.end(), param); p != Matches(); ++p)
        line += paramOf((*p)[1], (*p)[2], (*p)[3].length(), enumerations);
    return line;
}

}  // namespace

ContractReading readContract() {
    std::ifstream file(VEL_CONTRACT_IDL);
    if (!file) throw std::runtime_error("cannot read " VEL_CONTRACT_IDL);
    std::stringstream buffer;
    buffer << file.rdbuf();
    const std::string text = std::regex_replace(buffer.str(), std::regex("//[^\n]*"), "");
    // The library's block is the only one that closes in the first column.
    const std::size_t libraryEnd = text.find("\n}", text.find("library "));

    ContractReading reading;
    std::set<std::string> enumerations;
    const std::regex enumeration(R"(enum (\w+) \{([^}]*)\})");
    for (Matches e(text.begin(), text.end(), enumeration); e != Matches(); ++e) {
        enumerations.insert((*e)[1]);
        const std::string body = (*e)[2];
        const std::regex value(R"((\w+) = (-?\d+))");
        for (Matches v(body.begin(), body.end(), value); v != Matches(); ++v)
            reading.enumerators[(*v)[1].str()] = std::stoi((*v)[2]);
    }

    const std::regex entity(R"(\[([^\]]*)\]\s*(library|interface|coclass) (\w+)( : (\w+))?)");
    const std::regex member(R"(\[([^\]]*)\]\s*HRESULT (\w+)\(([^)]*)\))");
    for (Matches e(text.begin(), text.end(), entity); e != Matches(); ++e) {
        const std::string attributes = (*e)[1];
        std::smatch uuid;
        // A class's "[default] interface" names an interface without declaring one.
        if (!std::regex_search(attributes, uuid, std::regex(R"(uuid\(([-\w]+)\))"))) continue;
        std::string id = "{" + uuid[1].str() + "}";
        std::transform(id.begin(), id.end(), id.begin(), [](char c) { return std::toupper(c); });
        reading.ids[(*e)[3].str()] = id;
        std::smatch library;
        const std::regex libraryAttributes(
            R"re(version\((\d+)\.(\d+)\)[\s\S]*lcid\((\w+)\)[\s\S]*helpstring\("([^"]*)"\))re");
        if ((*e)[2] == "library" && std::regex_search(attributes, library, libraryAttributes))
            reading.library = library[1].str() + "." + library[2].str() + " " +
                              std::to_string(std::stoi(library[3], nullptr, 0)) + " " +
                              library[4].str();
        if ((*e)[2] != "interface" || static_cast<std::size_t>(e->position()) > libraryEnd)
            continue;
        const std::set<std::string> words = wordsOf(attributes);
        const bool dual = words.count("dual") != 0 && words.count("oleautomation") != 0;
        std::vector<std::string>& lines = reading.interfaces[(*e)[3].str()];
        lines.push_back("base " + (*e)[5].str() + (dual ? " dual" : ""));
        const std::size_t open = text.find('{', static_cast<std::size_t>(e->position()));
        const std::string body = text.substr(open, text.find('}', open) - open);
        for (Matches m(body.begin(), body.end(), member); m != Matches(); ++m)
            lines.push_back(memberOf(*m, enumerations));
    }
    return reading;
}

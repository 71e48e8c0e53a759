#include "markup/mtGNodes.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include <velcom/Memory.h>

#include "Utility/NoCase.h"
#include "errors/ErrorReporting.h"
#include "markup/Tokens.h"

namespace {

constexpr unsigned long kStartKeys = TokReturn | TokAcceptDTRoot | TokCreateCertificate |
                                     TokPickUpCertificate | TokRenewCertificate |
                                     TokRevokeCertificate | TokReonholdCertificate |
                                     TokCheckCertificate | TokLDAPSearch | TokCRLDownload;
constexpr unsigned long kParameterKeys = TokType | TokParam | TokValue;
constexpr unsigned long kReturnKeys = TokReturn | TokStatus | TokErrorMessage;
constexpr unsigned long kActionKeys = TokAction | TokURL | TokMethod;

// Values of many megabytes grow past this size; from there on the value is given the room for
// all input left, once, instead of doubling (which would hold two copies at a time).
constexpr std::size_t kLargeValue = 64 * 1024;

// Tokens that end a value and belong to whatever follows it.
bool givesBackAfterValue(int token) {
    return token != TokEnd && token != TokWord && token != TokNewLine && token != TokEquals &&
           token != TokText;
}

void trimTrailingSpace(std::string& value) {
    const std::size_t last = value.find_last_not_of("\r\n\t ");
    // A value made only of such characters stays as it is.
    if (last != std::string::npos) value.resize(last + 1);
}

// The C library's atoi reading, saturated to 32 bits where atoi itself would be undefined.
long statusFrom(const std::string& text) {
    errno = 0;
    const long long parsed = std::strtoll(text.c_str(), nullptr, 10);
    if (parsed > INT_MAX) return INT_MAX;
    if (parsed < INT_MIN) return INT_MIN;
    return static_cast<long>(parsed);
}

constexpr std::string_view kParamTypeNames[] = {"TEXT",   "BOOL",  "NUMBER", "SPKAC",
                                                "PKCS#7", "X.509", "NSCS"};

char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The type a name gives, compared as equalsNoCase does, inline: every parameter has a type.
int paramTypeOf(std::string_view name) {
    for (int type = 0; type < static_cast<int>(std::size(kParamTypeNames)); ++type) {
        const std::string_view known = kParamTypeNames[type];
        if (name.size() != known.size()) continue;
        std::size_t i = 0;
        while (i < name.size() && upperAscii(name[i]) == known[i]) ++i;
        if (i == name.size()) return type + 1;
    }
    return ParamTypeNone;
}

}  // namespace

bool Node::addChild(Node*) { return false; }

std::vector<Node*> Node::getChildren() const { return {}; }

bool mtGNode::parse(Scanner* scanner) {
    if (scanner == nullptr) return false;
    if (scanner->isBad()) return true;
    std::string text;
    for (;;) {
        // A key line read in one step; a key this node does not take is left for the next reader.
        if (const int peeked = scanner->peekKey(); peeked != TokWord) {
            if (!accepts(peeked)) return true;
            if (std::string_view line; scanner->takeKeyLine(line)) {
                if (!setText(peeked, line)) return false;
                continue;
            }
            scanner->skipKey();
            if (!readValue(peeked, scanner)) return false;
            if (scanner->isBad()) return true;
            continue;
        }
        if (scanner->isEOF()) return true;
        const int key = scanner->nextToken(text);
        if (key == TokEnd) return true;
        if (!accepts(key)) {
            scanner->pushBack(key, text);
            return true;
        }
        const int next = scanner->nextToken(text);
        if (next == TokEquals) {
            if (!readValue(key, scanner)) return false;
        } else if (next != TokNewLine) {
            scanner->pushBack(next, text);
        }
        if (scanner->isBad()) return true;
    }
}

bool mtGNode::readValue(int key, Scanner* scanner) {
    if (scanner == nullptr) return false;
    // A scanner takes no value at the end of its input or once broken: asked first, it spares a
    // typical value those questions.
    NodeValue whole;
    if (scanner->takeValue(whole)) return setValue(key, std::move(whole));
    if (scanner->isEOF() || scanner->isBad()) return false;
    std::string value;
    std::string token;
    while (!scanner->isBad() && !scanner->isEOF()) {
        const int code = scanner->nextToken(token);
        if (code == TokText || code == TokEquals) {
            value += token;
        } else if (code == TokWord) {
            if (value.size() > kLargeValue && value.capacity() < value.size() + token.size() + 2) {
                const std::size_t left = scanner->remainingInput();
                // Joining lines with CR LF adds a character per line; typical lines are long. A
                // shorter guess only costs the string's own growth.
                value.reserve(value.size() + token.size() + 2 + left + left / 16);
                velcom::adviseLargeBuffer(value.data(), value.capacity());
            }
            value += "\r\n";
            value += token;
        } else if (code != TokNewLine) {
            if (givesBackAfterValue(code)) scanner->pushBack(code, token);
            break;
        }
    }
    trimTrailingSpace(value);
    return setAttribute(key, value.empty() ? nullptr : &value);
}

bool mtGNode::setValue(int token, NodeValue&& value) {
    std::string text = std::move(value).takeText();
    return setAttribute(token, text.empty() ? nullptr : &text);
}

bool mtGNode::setText(int token, std::string_view text) {
    std::string value(text);
    return setAttribute(token, value.empty() ? nullptr : &value);
}

bool mtGNode::acceptOnce(unsigned long& seen, unsigned long accepted, int token) {
    const auto bit = static_cast<unsigned long>(token);
    if ((seen & bit) != 0) return false;
    seen |= bit;
    return (accepted & bit) != 0;
}

bool mtGNode::rejectAttribute(int line, int token, const std::string& value) {
    char message[512];
    std::snprintf(message, sizeof message, "TMR invalid token (%d): %s", token, value.c_str());
    traceAt(kTraceAnswer, kSource, line, message);
    return false;
}

bool StartNode::addChild(Node*) { return false; }

std::vector<Node*> StartNode::getChildren() const { return {}; }

Node* StartNode::clone() const { return new StartNode(*this); }

bool StartNode::accepts(int token) { return acceptOnce(m_lSeen, kStartKeys, token); }

bool StartNode::setAttribute(int token, std::string* value) {
    if (value == nullptr) return true;
    switch (token) {
        case TokCreateCertificate:
            m_strCreateCertificate = std::move(*value);
            return true;
        case TokPickUpCertificate:
            m_strPickUpCertificate = std::move(*value);
            return true;
        case TokRenewCertificate:
            m_strRenewCertificate = std::move(*value);
            return true;
        case TokRevokeCertificate:
            m_strRevokeCertificate = std::move(*value);
            return true;
        case TokCRLDownload:
            m_strCRLDownload = std::move(*value);
            return true;
        case TokCheckCertificate:
            m_strCheckCertificate = std::move(*value);
            return true;
        case TokReturn:
        case TokAcceptDTRoot:
        case TokReonholdCertificate:
        case TokLDAPSearch:
            return true;
        default:
            return rejectAttribute(kInvalidTokenLine, token, *value);
    }
}

bool ParameterNode::addChild(Node*) { return false; }

std::vector<Node*> ParameterNode::getChildren() const { return {}; }

Node* ParameterNode::clone() const { return new ParameterNode(*this); }

bool ParameterNode::accepts(int token) { return acceptOnce(m_lSeen, kParameterKeys, token); }

bool ParameterNode::setAttribute(int token, std::string* value) {
    if (value == nullptr) return true;
    switch (token) {
        case TokParam:
            m_strName = std::move(*value);
            return true;
        case TokValue:
            m_value = NodeValue(std::move(*value));
            return true;
        case TokType:
            setType(*value);
            return true;
        default:
            return rejectAttribute(kInvalidTokenLine, token, *value);
    }
}

bool ParameterNode::setValue(int token, NodeValue&& value) {
    if (value.empty() || (token != TokValue && token != TokType))
        return mtGNode::setValue(token, std::move(value));
    if (token == TokType)
        setType(value.text());
    else
        m_value = std::move(value);
    return true;
}

bool ParameterNode::setText(int token, std::string_view text) {
    if (text.empty()) return true;
    switch (token) {
        case TokParam:
            m_strName.assign(text);
            return true;
        case TokValue:
            m_value.assign(text);
            return true;
        case TokType:
            setType(text);
            return true;
        default:
            return mtGNode::setText(token, text);
    }
}

void ParameterNode::setType(std::string_view name) {
    if (const int type = paramTypeOf(name); type != ParamTypeNone) m_eType = type;
}

ParentNode::ParentNode(const ParentNode& other) : mtGNode(other) {
    m_vecChildren.reserve(other.m_vecChildren.size());
    for (const auto& child : other.m_vecChildren) m_vecChildren.emplace_back(child->clone());
}

ParentNode& ParentNode::operator=(const ParentNode& other) {
    if (this == &other) return *this;
    deleteChildren();
    for (const auto& child : other.m_vecChildren) m_vecChildren.emplace_back(child->clone());
    return *this;
}

ParentNode::~ParentNode() { deleteChildren(); }

void ParentNode::deleteChildren() {
    while (!m_vecChildren.empty()) m_vecChildren.pop_back();
}

bool ParentNode::addChild(Node* child) {
    if (child == nullptr) return false;
    // Room for a typical answer's parameters at once.
    if (m_vecChildren.empty()) m_vecChildren.reserve(kTypicalChildren);
    m_vecChildren.emplace_back(child);
    return true;
}

std::vector<Node*> ParentNode::getChildren() const {
    std::vector<Node*> children;
    children.reserve(m_vecChildren.size());
    for (const auto& child : m_vecChildren) children.push_back(child.get());
    return children;
}

Node* ReturnNode::clone() const { return new ReturnNode(*this); }

bool ReturnNode::accepts(int token) { return acceptOnce(m_lSeen, kReturnKeys, token); }

bool ReturnNode::setAttribute(int token, std::string* value) {
    if (value == nullptr) return true;
    switch (token) {
        case TokReturn:
            m_strName = std::move(*value);
            return true;
        case TokErrorMessage:
            m_strErrorMessage = std::move(*value);
            return true;
        case TokStatus:
            m_lStatus = statusFrom(*value);
            return true;
        default:
            return rejectAttribute(kInvalidTokenLine, token, *value);
    }
}

Node* ActionNode::clone() const { return new ActionNode(*this); }

bool ActionNode::accepts(int token) { return acceptOnce(m_lSeen, kActionKeys, token); }

bool ActionNode::setAttribute(int token, std::string* value) {
    if (value == nullptr) return true;
    switch (token) {
        case TokAction:
            m_strAction = std::move(*value);
            return true;
        case TokURL:
            m_strURL = std::move(*value);
            return true;
        case TokMethod:
            m_bPost = equalsNoCase(*value, "POST") == 0;
            return true;
        default:
            return rejectAttribute(kInvalidTokenLine, token, *value);
    }
}

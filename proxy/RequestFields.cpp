// The form fields of the next request, taken from the user's choices and from the parameters of
// the server's last answer.
#include "Utility/NoCase.h"
#include "proxy/velTesseraProxy.h"

const ParameterNode* findParameter(ParentNode* node, const char* name) {
    const std::string_view wanted(name);
    for (const std::unique_ptr<Node>& child : node->children()) {
        if (child->getKind() != KindParam) continue;
        const auto* parameter = static_cast<const ParameterNode*>(child.get());
        if (equalsNoCase(parameter->name(), wanted) == 0) return parameter;
    }
    return nullptr;
}

bool findParam(ParentNode* node, const char* name, std::string* pName, std::string* pValue) {
    const ParameterNode* parameter = findParameter(node, name);
    if (parameter == nullptr) return false;
    *pName = parameter->name();
    *pValue = parameter->value();
    return true;
}

bool CvelTesseraProxy::addField(std::string name, std::string value) {
    m_vecFields.push_back(std::move(name));
    m_vecFields.push_back(std::move(value));
    return true;
}

bool CvelTesseraProxy::copyParam(ParentNode* node, const char* name) {
    std::string serverName;
    std::string value;
    if (!findParam(node, name, &serverName, &value)) return false;
    return addField(std::move(serverName), std::move(value));
}

bool CvelTesseraProxy::copyParams(ParentNode* node, const char* const* names) {
    std::size_t count = 0;
    while (names[count] != nullptr) ++count;
    // Room for the user's few fields that follow as well, so that no field moves again.
    constexpr std::size_t kFieldsAdded = 8;
    m_vecFields.reserve(m_vecFields.size() + 2 * count + kFieldsAdded);
    for (; *names != nullptr; ++names)
        if (!copyParam(node, *names)) return false;
    return true;
}

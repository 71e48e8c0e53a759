// The form fields of the next request, taken from the user's choices and from the parameters of
// the server's last answer.
#include "Utility/NoCase.h"
#include "proxy/velTesseraProxy.h"

const ParameterNode* findParameter(ParentNode* node, const char* name) {
    for (const std::unique_ptr<Node>& child : node->children()) {
        if (child->getKind() != KindParam) continue;
        const auto* parameter = static_cast<const ParameterNode*>(child.get());
        if (equalsNoCase(parameter->getName(), name) == 0) return parameter;
    }
    return nullptr;
}

bool findParam(ParentNode* node, const char* name, std::string* pName, std::string* pValue) {
    const ParameterNode* parameter = findParameter(node, name);
    if (parameter == nullptr) return false;
    *pName = parameter->getName();
    *pValue = parameter->getValue();
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
    for (; *names != nullptr; ++names)
        if (!copyParam(node, *names)) return false;
    return true;
}

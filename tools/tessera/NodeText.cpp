#include "NodeText.h"

#include <functional>

#include "Text.h"

namespace {

void forEachParameter(IvelNode& node,
                      const std::function<void(const std::string&, const std::string&)>& visit) {
    velcom::ComPtr<IvelNodeCollection> children;
    LONG count = 0;
    if (FAILED(node.get_SubNodes(children.put())) || FAILED(children->get_Count(&count))) return;
    for (LONG index = 1; index <= count; ++index) {
        velcom::ComPtr<IvelNode> child;
        velcom::Bstr name, value;
        if (SUCCEEDED(children->get_Item(index, child.put())) &&
            SUCCEEDED(child->get_Name(name.put())) && SUCCEEDED(child->get_StringProp(value.put())))
            visit(toUtf8(name.get()), toUtf8(value.get()));
    }
}

}  // namespace

std::string parameterOf(IvelNode& node, const std::string& name) {
    std::string found;
    forEachParameter(node, [&](const std::string& parameter, const std::string& value) {
        if (found.empty() && parameter == name) found = value;
    });
    return found;
}

void printParameters(IvelNode& node, std::ostream& out) {
    forEachParameter(node, [&](const std::string& parameter, const std::string& value) {
        out << "  " << parameter << ": " << value << '\n';
    });
}

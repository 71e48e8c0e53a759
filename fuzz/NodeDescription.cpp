#include "NodeDescription.h"

namespace {

// Length-prefixed, so that no attribute text can imitate the boundary to the next one.
void addField(std::string& out, const std::string& text) {
    out += std::to_string(text.size());
    out += ':';
    out += text;
}

void addNumber(std::string& out, long number) { addField(out, std::to_string(number)); }

void describeAttributes(std::string& out, const Node& node) {
    if (const auto* start = dynamic_cast<const StartNode*>(&node)) {
        addField(out, start->getCreateCertificate());
        addField(out, start->getPickUpCertificate());
        addField(out, start->getRenewCertificate());
        addField(out, start->getRevokeCertificate());
        addField(out, start->getCRLDownload());
        addField(out, start->getCheckCertificate());
    } else if (const auto* parameter = dynamic_cast<const ParameterNode*>(&node)) {
        addField(out, parameter->getName());
        addField(out, parameter->value());
        addNumber(out, parameter->getType());
    } else if (const auto* result = dynamic_cast<const ReturnNode*>(&node)) {
        addField(out, result->getName());
        addField(out, result->getErrorMessage());
        addNumber(out, result->getStatus());
    } else if (const auto* action = dynamic_cast<const ActionNode*>(&node)) {
        addField(out, action->getAction());
        addField(out, action->getURL());
        addNumber(out, action->getPost() ? 1 : 0);
    }
}

void describeInto(std::string& out, const Node& node) {
    out += '(';
    addNumber(out, node.getKind());
    describeAttributes(out, node);
    for (const Node* child : node.getChildren()) describeInto(out, *child);
    out += ')';
}

}  // namespace

std::string describeTree(const Node& node) {
    std::string out;
    describeInto(out, node);
    return out;
}

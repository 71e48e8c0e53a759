// Parses arbitrary pages, then copies every tree it got in each way the node classes offer and
// checks that the copies are the same tree: the copying code is where ownership of children goes
// wrong, and the sanitizers only see it when it runs. The trees must also be those that reading
// every value token by token gives.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "markup/mtGNodes.h"
#include "markup/mtGParser.h"
#include "markup/mtGScanner.h"
#include "tracer/ITracer.h"

namespace {

// Every attribute and child, each field length-prefixed so that no attribute text can imitate the
// boundary to the next one: the node classes offer no comparison of their own.
std::string describeTree(const Node& node) {
    std::vector<std::string> fields{std::to_string(node.getKind())};
    if (const auto* start = dynamic_cast<const StartNode*>(&node))
        fields.insert(fields.end(), {start->getCreateCertificate(), start->getPickUpCertificate(),
                                     start->getRenewCertificate(), start->getRevokeCertificate(),
                                     start->getCRLDownload(), start->getCheckCertificate()});
    else if (const auto* parameter = dynamic_cast<const ParameterNode*>(&node))
        fields.insert(fields.end(), {parameter->getName(), parameter->value(),
                                     std::to_string(parameter->getType())});
    else if (const auto* outcome = dynamic_cast<const ReturnNode*>(&node))
        fields.insert(fields.end(), {outcome->getName(), outcome->getErrorMessage(),
                                     std::to_string(outcome->getStatus())});
    else if (const auto* action = dynamic_cast<const ActionNode*>(&node))
        fields.insert(fields.end(),
                      {action->getAction(), action->getURL(), action->getPost() ? "1" : "0"});
    std::string out = "(";
    for (const std::string& field : fields) out += std::to_string(field.size()) + ":" + field;
    for (const Node* child : node.getChildren()) out += describeTree(*child);
    return out + ")";
}

std::vector<std::string> describeRoots(const mtGParser& parser) {
    std::vector<std::string> descriptions;
    for (const Node* root : parser.getNodes()) descriptions.push_back(describeTree(*root));
    return descriptions;
}

// Assigns over a copy that already has children of its own, so that they must be let go.
template <class Parent>
void checkAssignment(const Node& root, const std::string& description) {
    const auto* original = dynamic_cast<const Parent*>(&root);
    if (original == nullptr) return;
    Parent target(*original);
    target = *original;
    fuzzCheck(describeTree(target) == description, "an assigned copy equals its original");
}

// Without a way to read a whole value or a key line, so that the nodes read every token: they
// must find what the scanner's own reading of whole values and key lines finds.
struct TokenByToken final : mtGScanner {
    using mtGScanner::mtGScanner;
    bool takeValue(NodeValue&) override { return false; }
    int peekKey() override { return TokWord; }
};

// The roots the parser finds, read token by token.
std::vector<std::string> describeTokenByToken(std::string_view page) {
    std::vector<std::string> descriptions;
    std::string_view block;
    for (auto next = mtGParser::extractBlock(page, 0, block); next;
         next = mtGParser::extractBlock(page, *next, block)) {
        TokenByToken scanner(block);
        const std::unique_ptr<Node> root(mtGParser::parseBlock(scanner));
        if (root == nullptr) break;
        descriptions.push_back(describeTree(*root));
    }
    return descriptions;
}

void checkCopies(const Node& root) {
    const std::string description = describeTree(root);
    const std::unique_ptr<Node> clone(root.clone());
    fuzzCheck(clone != nullptr, "clone gives a node");
    fuzzCheck(describeTree(*clone) == description, "a clone equals its original");
    checkAssignment<ReturnNode>(root, description);
    checkAssignment<ActionNode>(root, description);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Every word of a page that is no keyword is traced; with nobody listening that is only cost.
    g_lTraceLevel = 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string page(reinterpret_cast<const char*>(data), size);
    mtGParser parser;
    const bool parsed = parser.parse(page);
    fuzzCheck(!parsed || !parser.getNodes().empty(), "a successful parse has a root node");
    const std::vector<std::string> first = describeRoots(parser);
    fuzzCheck(describeTokenByToken(page) == first,
              "values and keys read whole equal those read by token");
    for (const Node* root : parser.getNodes()) checkCopies(*root);

    // Parsing again replaces the trees by equal ones.
    fuzzCheck(parser.parse(page) == parsed, "parsing is repeatable");
    fuzzCheck(describeRoots(parser) == first, "a parse replaces the trees by equal ones");
    return 0;
}

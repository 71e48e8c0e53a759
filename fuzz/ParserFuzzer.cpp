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
#include "NodeDescription.h"
#include "markup/mtGNodes.h"
#include "markup/mtGParser.h"
#include "markup/mtGScanner.h"
#include "tracer/ITracer.h"

namespace {

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

// A scanner without a way of its own to read a value, so that the nodes read each value token by
// token: they must find what the scanner's own reading of whole values finds.
class TokenByToken final : public Scanner {
public:
    explicit TokenByToken(std::string_view block) : m_scanner(block) {}
    int nextToken(std::string& text) override { return m_scanner.nextToken(text); }
    bool pushBack(int code, const std::string& text) override {
        return m_scanner.pushBack(code, text);
    }
    bool isEOF() override { return m_scanner.isEOF(); }
    bool isBad() override { return m_scanner.isBad(); }

private:
    mtGScanner m_scanner;
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
    fuzzCheck(describeTokenByToken(page) == first, "values read whole equal values read by token");
    for (const Node* root : parser.getNodes()) checkCopies(*root);

    // Parsing again replaces the trees by equal ones.
    fuzzCheck(parser.parse(page) == parsed, "parsing is repeatable");
    fuzzCheck(describeRoots(parser) == first, "a parse replaces the trees by equal ones");
    return 0;
}

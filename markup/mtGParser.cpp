#include "markup/mtGParser.h"

#include "Utility/NoCase.h"
#include "errors/ErrorReporting.h"
#include "markup/Tokens.h"
#include "markup/mtGScanner.h"

namespace {

constexpr std::string_view kCommentStart = "<!-- ";
constexpr std::string_view kQuestionOpener = "<!-- ???";
constexpr std::string_view kExclamationOpener = "<!-- !!!";
constexpr std::string_view kCloser = "-->";

}  // namespace

mtGParser::~mtGParser() { clear(); }

void mtGParser::clear() {
    while (!m_vecNodes.empty()) m_vecNodes.pop_back();
}

std::vector<Node*> mtGParser::getNodes() const {
    std::vector<Node*> nodes;
    nodes.reserve(m_vecNodes.size());
    for (const auto& node : m_vecNodes) nodes.push_back(node.get());
    return nodes;
}

std::optional<std::size_t> mtGParser::extractBlock(std::string_view page, std::size_t from,
                                                   std::string_view& block) {
    std::size_t start = page.find(kCommentStart, from);
    while (start != std::string_view::npos) {
        const std::size_t openerEnd = start + kQuestionOpener.size();
        if (page.size() > openerEnd) {
            const std::string_view opener = page.substr(start, kQuestionOpener.size());
            if (equalsNoCase(opener, kQuestionOpener) == 0 ||
                equalsNoCase(opener, kExclamationOpener) == 0) {
                const std::size_t closer = page.find(kCloser, openerEnd);
                if (closer == std::string_view::npos) {
                    block = page.substr(openerEnd);
                    return std::nullopt;
                }
                block = page.substr(openerEnd, closer - openerEnd);
                return closer + kCloser.size() - 1;
            }
        }
        // An ordinary comment: look further on.
        start = page.find(kCommentStart, start + kCommentStart.size());
    }
    return std::nullopt;
}

bool mtGParser::parse(const std::string& page) { return parseBlocks(page, nullptr); }

bool mtGParser::parse(std::string_view page, std::shared_ptr<const void> owner) {
    return parseBlocks(page, owner);
}

bool mtGParser::parseBlocks(std::string_view page, const std::shared_ptr<const void>& owner) {
    clear();
    bool result = false;
    std::string_view block;
    std::optional<std::size_t> next = extractBlock(page, 0, block);
    while (next) {
        mtGScanner scanner(block, owner);
        std::unique_ptr<Node> root(parseBlock(scanner));
        if (root == nullptr) return false;
        m_vecNodes.push_back(std::move(root));
        result = true;
        next = extractBlock(page, *next, block);
    }
    return result;
}

Node* mtGParser::parseBlock(Scanner& scanner) {
    std::unique_ptr<Node> root;
    if (!scanner.isBad() && !scanner.isEOF()) {
        root.reset(createNode(scanner));
        if (root == nullptr) return nullptr;
        if (root->parse(&scanner))
            while (!scanner.isBad() && !scanner.isEOF())
                if (!parseChild(scanner, *root)) break;
    }
    if (scanner.isBad()) traceAt(kTraceAnswer, kSource, kScannerFailedLine, "TSR scanner failed");
    return root.release();
}

Node* mtGParser::createNode(Scanner& scanner) {
    std::string text;
    const int token = scanner.nextToken(text);
    std::unique_ptr<Node> node;
    switch (token) {
        case TokParam:
        case TokType:
        case TokValue:
            node = std::make_unique<ParameterNode>();
            break;
        case TokReturn: {
            // "Return=" opens an outcome; a bare "Return" line the start information.
            std::string second;
            const int following = scanner.nextToken(second);
            if (following == TokEquals)
                node = std::make_unique<ReturnNode>();
            else
                node = std::make_unique<StartNode>();
            scanner.pushBack(following, second);
            break;
        }
        case TokAction:
            node = std::make_unique<ActionNode>();
            break;
        case TokEnd:
            return nullptr;
        default:
            traceAt(kTraceAnswer, kSource, kUnknownNodeLine, "TSR unknown node");
            return nullptr;
    }
    // The node reads its tokens again from the first one.
    scanner.pushBack(token, text);
    return node.release();
}

bool mtGParser::parseChild(Scanner& scanner, Node& parent) {
    std::unique_ptr<Node> child(createNode(scanner));
    if (child == nullptr || !child->parse(&scanner)) return false;
    if (!parent.addChild(child.get())) return false;
    child.release();
    return true;
}

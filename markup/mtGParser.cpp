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

// Where "-->" first occurs at or after from, found by its ">": the "-" of a block's values and of
// the page's own markup are common.
std::size_t findCloser(std::string_view page, std::size_t from) {
    for (std::size_t end = page.find('>', from + 2); end != std::string_view::npos;
         end = page.find('>', end + 1))
        if (page[end - 1] == '-' && page[end - 2] == '-') return end - 2;
    return std::string_view::npos;
}

// Where "<!-- " first occurs at or after from, found by its "!": rare in a page, where "<" opens
// every tag.
std::size_t findCommentStart(std::string_view page, std::size_t from) {
    for (std::size_t bang = page.find('!', from + 1); bang != std::string_view::npos;
         bang = page.find('!', bang + 1))
        if (page.compare(bang - 1, kCommentStart.size(), kCommentStart) == 0) return bang - 1;
    return std::string_view::npos;
}

}  // namespace

mtGParser::~mtGParser() { clear(); }

mtGParser::Page::~Page() { deleteRoots(); }

void mtGParser::Page::deleteRoots() {
    while (!roots.empty()) roots.pop_back();
}

void mtGParser::clear() {
    if (m_page == nullptr) return;
    // A page nobody else holds keeps its list for the next one.
    if (m_page.use_count() == 1)
        m_page->deleteRoots();
    else
        m_page.reset();
}

std::vector<Node*> mtGParser::getNodes() const {
    std::vector<Node*> nodes;
    for (const std::unique_ptr<Node>& node : roots()) nodes.push_back(node.get());
    return nodes;
}

std::span<const std::unique_ptr<Node>> mtGParser::roots() const {
    if (m_page == nullptr) return {};
    return m_page->roots;
}

std::optional<std::size_t> mtGParser::extractBlock(std::string_view page, std::size_t from,
                                                   std::string_view& block) {
    std::size_t start = findCommentStart(page, from);
    while (start != std::string_view::npos) {
        const std::size_t openerEnd = start + kQuestionOpener.size();
        if (page.size() > openerEnd) {
            const std::string_view opener = page.substr(start, kQuestionOpener.size());
            if (equalsNoCase(opener, kQuestionOpener) == 0 ||
                equalsNoCase(opener, kExclamationOpener) == 0) {
                const std::size_t closer = findCloser(page, openerEnd);
                if (closer == std::string_view::npos) {
                    block = page.substr(openerEnd);
                    return std::nullopt;
                }
                block = page.substr(openerEnd, closer - openerEnd);
                return closer + kCloser.size() - 1;
            }
        }
        // An ordinary comment: look further on.
        start = findCommentStart(page, start + kCommentStart.size());
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
        if (m_page == nullptr) m_page = std::make_shared<Page>();
        m_page->roots.push_back(std::move(root));
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

namespace {

// The node a line with this key opens, when the key is followed by "=": "Return=" opens an
// outcome, a bare "Return" line the start information. Null for a key that opens no node. Every
// member has its initialiser, so a node needs no zeroing before its constructor runs.
std::unique_ptr<Node> nodeOpenedBy(int key) {
    switch (key) {
        case TokParam:
        case TokType:
        case TokValue:
            return std::make_unique_for_overwrite<ParameterNode>();
        case TokReturn:
            return std::make_unique_for_overwrite<ReturnNode>();
        case TokAction:
            return std::make_unique_for_overwrite<ActionNode>();
        default:
            return nullptr;
    }
}

}  // namespace

Node* mtGParser::createNode(Scanner& scanner) {
    // A key line seen ahead is left for the node to read.
    if (std::unique_ptr<Node> node = nodeOpenedBy(scanner.peekKey())) return node.release();
    std::string text;
    const int token = scanner.nextToken(text);
    std::unique_ptr<Node> node = nodeOpenedBy(token);
    if (token == TokReturn) {
        std::string second;
        const int following = scanner.nextToken(second);
        if (following != TokEquals) node = std::make_unique<StartNode>();
        scanner.pushBack(following, second);
    } else if (token == TokEnd) {
        return nullptr;
    } else if (node == nullptr) {
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

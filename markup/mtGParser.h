// Finds the marked comment blocks of an answer page and turns each into a root node.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "markup/Scanner.h"
#include "markup/mtGNodes.h"

class mtGParser {
public:
    mtGParser() = default;
    ~mtGParser();
    mtGParser(const mtGParser&) = delete;
    mtGParser& operator=(const mtGParser&) = delete;

    // Replaces the nodes by the root nodes of page; true when at least one block was found and
    // every block found gave a root node.
    bool parse(const std::string& page);
    // The same for a page whose large values may refer to it instead of copying their text: they
    // hold owner, which keeps the page's bytes alive; they must not change while any node or copy
    // of one refers to them.
    bool parse(std::string_view page, std::shared_ptr<const void> owner);
    // Lets go of the nodes: deleted, last first, unless a share of them is still held.
    void clear();
    // The roots of the last page, still owned by the parser.
    std::vector<Node*> getNodes() const;
    // The same where they are kept, for a search that would not copy the list.
    std::span<const std::unique_ptr<Node>> roots() const;
    // node, one of the last page's nodes, kept alive with all of that page's nodes for as long as
    // the result lives, however the parser moves on: a host's node needs no copy of its own.
    std::shared_ptr<const Node> share(const Node* node) const { return {m_page, node}; }

    // The steps of parse, open to tests.
    // Where to look for the next block after the one put into block; none when there is none.
    static std::optional<std::size_t> extractBlock(std::string_view page, std::size_t from,
                                                   std::string_view& block);
    // The block's root with its children, owned by the caller; null when there is none.
    static Node* parseBlock(Scanner& scanner);
    static Node* createNode(Scanner& scanner);
    static bool parseChild(Scanner& scanner, Node& parent);

    static constexpr const char* kSource = "mtGParser";
    static constexpr int kScannerFailedLine = 151;
    static constexpr int kUnknownNodeLine = 239;

private:
    bool parseBlocks(std::string_view page, const std::shared_ptr<const void>& owner);

    // The roots of one page; shared with the nodes handed out of it.
    struct Page {
        Page() = default;
        Page(const Page&) = delete;
        Page& operator=(const Page&) = delete;
        ~Page();
        // Last first, as the page was built.
        void deleteRoots();
        std::vector<std::unique_ptr<Node>> roots;
    };
    std::shared_ptr<Page> m_page;
};

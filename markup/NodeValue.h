// The value of a node's key. A value of many megabytes is not copied out of its answer page: it
// keeps the page alive with a shared reference, together with the stretch of lines it is read
// from, and joins those lines into its text only when the text is first asked for. Copies share
// that state, so a tree cloned for a host costs no copy of its large values, and the page may
// outlive the parser and the proxy that read it. Like the nodes, a value and its copies are used on
// one thread, the apartment's.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

class NodeValue {
public:
    NodeValue() = default;
    explicit NodeValue(std::string text) : m_text(std::move(text)) {}
    // Sets the value to a copy of text, keeping the room of an earlier text.
    void assign(std::string_view text) {
        m_pLines.reset();
        m_text.assign(text);
    }
    // The value of `lines`, which lie in the page that `page` keeps alive, and make `size`
    // characters once joined.
    NodeValue(std::shared_ptr<const void> page, std::string_view lines, std::size_t size);

    bool empty() const;
    // Joins the lines on the first call; from then on the page is no longer held for this value.
    const std::string& text() const;
    // The text, moved out of a value that owns it.
    std::string takeText() && { return m_pLines ? text() : std::move(m_text); }

private:
    struct PageLines {
        std::shared_ptr<const void> page;
        std::string_view lines;
        std::size_t size;
        std::string text;
    };

    std::string m_text;
    std::shared_ptr<PageLines> m_pLines;
};

#include "markup/NodeValue.h"

#include "markup/ValueLines.h"

NodeValue::NodeValue(std::shared_ptr<const void> page, std::string_view lines, std::size_t size)
    : m_pLines(std::make_shared<PageLines>()) {
    m_pLines->page = std::move(page);
    m_pLines->lines = lines;
    m_pLines->size = size;
}

bool NodeValue::empty() const { return m_pLines ? m_pLines->size == 0 : m_text.empty(); }

const std::string& NodeValue::text() const {
    if (!m_pLines) return m_text;
    PageLines& lines = *m_pLines;
    // Still holding the page means not joined yet; a join that throws is tried again next time.
    if (lines.page != nullptr) {
        lines.text = valueLines::join(lines.lines, lines.size);
        lines.page.reset();
    }
    return lines.text;
}

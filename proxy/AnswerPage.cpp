#include "proxy/AnswerPage.h"

#include <new>

#include <velcom/Memory.h>

void AnswerPage::restart() {
    if (m_pText.use_count() == 1)
        m_pText->clear();
    else
        m_pText.reset();
}

void AnswerPage::expect(std::size_t size) noexcept {
    if (size > kLargestAnnounced || !text().empty()) return;
    try {
        if (m_pText == nullptr) m_pText = std::make_shared<std::string>();
        m_pText->reserve(size);
        velcom::adviseLargeBuffer(m_pText->data(), m_pText->capacity());
    } catch (const std::bad_alloc&) {
        // The page grows chunk by chunk instead.
    }
}

void AnswerPage::append(const char* bytes, std::size_t size) {
    if (m_pText == nullptr) m_pText = std::make_shared<std::string>();
    m_pText->append(bytes, size);
}

const std::string& AnswerPage::text() const {
    static const std::string kNothing;
    return m_pText != nullptr ? *m_pText : kNothing;
}

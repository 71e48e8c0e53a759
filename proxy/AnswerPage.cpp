#include "proxy/AnswerPage.h"

#include <cstdint>
#include <cstring>
#include <new>

std::string_view AnswerPage::Text::view() const {
    return large.data() != nullptr ? std::string_view(large.data(), largeSize) : small;
}

// Moves a small page over on the first call; the string's own block is freed.
void AnswerPage::Text::reserveLarge(std::size_t size) {
    const bool moving = large.data() == nullptr;
    if (!large.grow(size)) throw std::bad_alloc();
    if (!moving) return;
    std::memcpy(large.data(), small.data(), small.size());
    largeSize = small.size();
    std::string().swap(small);
}

AnswerPage::Text& AnswerPage::writable() {
    if (m_pText == nullptr) m_pText = std::make_shared<Text>();
    return *m_pText;
}

void AnswerPage::restart() {
    if (m_pText.use_count() != 1) {
        m_pText.reset();
        return;
    }
    m_pText->small.clear();
    m_pText->large.release();
    m_pText->largeSize = 0;
}

void AnswerPage::expect(std::size_t size) noexcept {
    if (size > kLargestAnnounced || !text().empty()) return;
    try {
        Text& page = writable();
        if (size <= kHeapPageSize)
            page.small.reserve(size);
        else
            page.reserveLarge(size);
    } catch (const std::bad_alloc&) {
        // The page grows chunk by chunk instead.
    }
}

void AnswerPage::append(const char* bytes, std::size_t size) {
    Text& page = writable();
    if (page.large.data() == nullptr && page.small.size() + size <= kHeapPageSize) {
        page.small.append(bytes, size);
        return;
    }
    if (size > SIZE_MAX - page.view().size()) throw std::bad_alloc();
    page.reserveLarge(page.view().size() + size);
    std::memcpy(page.large.data() + page.largeSize, bytes, size);
    page.largeSize += size;
}

std::string_view AnswerPage::text() const {
    return m_pText != nullptr ? m_pText->view() : std::string_view();
}

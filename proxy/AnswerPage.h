// The answer page of the last exchange as the transport delivers it, in chunks. The nodes parsed
// from it may refer to it instead of copying their large values, so the buffer is shared with them:
// a new page starts in a buffer of its own while anything still refers to the last one.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

class AnswerPage {
public:
    // An empty page; the old buffer and its room are kept when nothing else refers to them.
    void restart();
    // Makes room for the whole page when the transport announces its size before the first
    // chunk, so that the chunks are copied once instead of again with each growth. Only a hint:
    // sizes beyond kLargestAnnounced and a failed allocation change nothing.
    void expect(std::size_t size) noexcept;
    // Throws std::bad_alloc when the page cannot grow.
    void append(const char* bytes, std::size_t size);

    const std::string& text() const;
    // The page for the parser; null while nothing has arrived.
    std::shared_ptr<const std::string> shared() const { return m_pText; }

    static constexpr std::size_t kLargestAnnounced = std::size_t{1} << 30;

private:
    std::shared_ptr<std::string> m_pText;
};

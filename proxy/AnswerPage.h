// The answer page of the last exchange as the transport delivers it, in chunks. The nodes parsed
// from it may refer to it instead of copying their large values, so the page is shared with them:
// a new page starts in a buffer of its own while anything still refers to the last one.
//
// A page up to kHeapPageSize lives in an ordinary string; beyond that it moves, once, into a
// velcom::GrowingBuffer, where it grows without being copied again, whether or not the transport
// announced its size.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include <velcom/GrowingBuffer.h>

class AnswerPage {
public:
    // An empty page; a small page's room is kept when nothing else refers to it.
    void restart();
    // No page and no room: what a failed transfer delivered is not kept.
    void discard() { m_pText.reset(); }
    // Makes room for the whole page when the transport announces its size before the first
    // chunk. Only a hint: sizes beyond kLargestAnnounced and a failed allocation change nothing.
    void expect(std::size_t size) noexcept;
    // Throws std::bad_alloc when the page cannot grow.
    void append(const char* bytes, std::size_t size);

    std::string_view text() const;
    // What keeps the bytes of text() alive, for the parser's nodes; null while nothing has arrived.
    std::shared_ptr<const void> owner() const { return m_pText; }

    static constexpr std::size_t kLargestAnnounced = std::size_t{1} << 30;
    static constexpr std::size_t kHeapPageSize = std::size_t{256} << 10;

private:
    struct Text {
        std::string small;
        velcom::GrowingBuffer large;
        std::size_t largeSize = 0;

        std::string_view view() const;
        void reserveLarge(std::size_t size);
    };

    Text& writable();

    std::shared_ptr<Text> m_pText;
};

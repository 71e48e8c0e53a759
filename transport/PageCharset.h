// The character set a page declares, and the page converted from it to UTF-8 with iconv before
// the component gets it: in the Content-Type header, else in a meta tag among the page's first
// 1 KiB, as a browser looks for it. A page that declares none, or UTF-8, passes unchanged.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "AnswerDelivery.h"

// The name after "charset=" in a Content-Type value or a tag, in lower case; empty when there is
// none. Only the characters of a character set's name are taken.
std::string declaredCharset(std::string_view text);
// The character set the first meta tag that declares one names.
std::string metaCharset(std::string_view head);

class PageCharset {
public:
    // contentType: the answer's header value, or empty. host, port: for the failure texts.
    PageCharset(AnswerDelivery& delivery, std::string_view contentType, const std::string& host,
                long port);
    ~PageCharset();
    PageCharset(const PageCharset&) = delete;
    PageCharset& operator=(const PageCharset&) = delete;

    // Throws TransportFailure for a character set iconv does not know and for bytes that are not
    // text in it.
    void take(std::string_view bytes);
    void finish();

    static constexpr std::size_t kMetaSearched = 1024;

private:
    void decide(const std::string& charset);
    void convert(std::string_view bytes);
    [[noreturn]] void fail(const std::string& detail) const;

    struct IconvClose {
        void operator()(void* converter) const;
    };

    AnswerDelivery& m_delivery;
    const std::string& m_strHost;
    long m_lPort;
    bool m_bDecided = false;
    std::string m_strCharset;
    std::unique_ptr<void, IconvClose> m_pConverter;
    // Before the decision, the page's first bytes; then the start of a character cut by a chunk.
    std::string m_strPending;
};

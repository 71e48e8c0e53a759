#include "PageCharset.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include <velTransport/TransportErrors.h>

#include "TransportFailure.h"

namespace {

char lower(char character) {
    return character >= 'A' && character <= 'Z' ? static_cast<char>(character + 32) : character;
}

std::string lowered(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), lower);
    return result;
}

bool nameCharacter(char character) {
    return (character >= 'a' && character <= 'z') || (character >= '0' && character <= '9') ||
           character == '-' || character == '_' || character == '.' || character == ':';
}

bool isUtf8(const std::string& charset) { return charset == "utf-8" || charset == "utf8"; }

}  // namespace

std::string declaredCharset(std::string_view text) {
    const std::string lower = lowered(text);
    for (std::size_t at = lower.find("charset"); at != std::string::npos;
         at = lower.find("charset", at + 1)) {
        std::size_t position = lower.find_first_not_of(" \t", at + 7);
        if (position == std::string::npos || lower[position] != '=') continue;
        position = lower.find_first_not_of(" \t\"'", position + 1);
        if (position == std::string::npos) return {};
        std::size_t end = position;
        while (end < lower.size() && nameCharacter(lower[end])) ++end;
        return lower.substr(position, end - position);
    }
    return {};
}

std::string metaCharset(std::string_view head) {
    const std::string lower = lowered(head);
    for (std::size_t at = lower.find("<meta"); at != std::string::npos;
         at = lower.find("<meta", at + 1)) {
        const std::string charset =
            declaredCharset(std::string_view(lower).substr(at, lower.find('>', at) - at));
        if (!charset.empty()) return charset;
    }
    return {};
}

void PageCharset::IconvClose::operator()(void* converter) const {
    iconv_close(static_cast<iconv_t>(converter));
}

PageCharset::PageCharset(AnswerDelivery& delivery, std::string_view contentType,
                         const std::string& host, long port)
    : m_delivery(delivery), m_strHost(host), m_lPort(port) {
    if (const std::string charset = declaredCharset(contentType); !charset.empty()) decide(charset);
}

PageCharset::~PageCharset() = default;

void PageCharset::take(std::string_view bytes) {
    if (m_bDecided) return convert(bytes);
    m_strPending += bytes;
    if (m_strPending.size() >= kMetaSearched)
        decide(metaCharset(std::string_view(m_strPending).substr(0, kMetaSearched)));
}

void PageCharset::finish() {
    if (!m_bDecided) decide(metaCharset(m_strPending));
    if (!m_strPending.empty()) fail("the page ends inside a character of " + m_strCharset);
}

void PageCharset::decide(const std::string& charset) {
    m_bDecided = true;
    if (!charset.empty() && !isUtf8(charset)) {
        m_strCharset = charset;
        const iconv_t converter = iconv_open("UTF-8", charset.c_str());
        if (converter == reinterpret_cast<iconv_t>(-1))
            fail("the page's character set \"" + charset + "\" is unknown");
        m_pConverter.reset(converter);
    }
    convert(std::exchange(m_strPending, {}));
}

void PageCharset::convert(std::string_view bytes) {
    if (!m_pConverter) {
        if (!bytes.empty()) m_delivery.take(bytes);
        return;
    }
    std::string input = std::exchange(m_strPending, {});
    input += bytes;
    char* in = input.data();
    std::size_t inLeft = input.size();
    std::string output;
    while (inLeft > 0) {
        const std::size_t used = output.size();
        // Any character set's character takes at most four bytes of UTF-8.
        output.resize(used + inLeft * 4 + 16);
        char* out = output.data() + used;
        std::size_t outLeft = output.size() - used;
        const std::size_t result =
            iconv(static_cast<iconv_t>(m_pConverter.get()), &in, &inLeft, &out, &outLeft);
        output.resize(output.size() - outLeft);
        if (result != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
        // A character cut by the end of the chunk is completed by the next one.
        if (errno == EINVAL) break;
        fail("the page is not valid " + m_strCharset + " text");
    }
    m_strPending.assign(in, inLeft);
    if (!output.empty()) m_delivery.take(output);
}

void PageCharset::fail(const std::string& detail) const {
    throw serverFailure(ERROR_HTTP_INVALID_SERVER_RESPONSE, "no valid answer came from", m_strHost,
                        m_lPort, detail);
}

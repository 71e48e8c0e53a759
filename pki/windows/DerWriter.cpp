#include "DerWriter.h"

#include <charconv>
#include <vector>

namespace der {

namespace {

std::string joined(std::initializer_list<std::string_view> items) {
    std::string content;
    for (const std::string_view item : items) content += item;
    return content;
}

// Base-128 digits, most significant first, all but the last with the high bit set.
void appendBase128(std::string& out, unsigned long value) {
    std::string digits(1, static_cast<char>(value & 0x7F));
    while ((value >>= 7) != 0) digits.insert(0, 1, static_cast<char>(0x80 | (value & 0x7F)));
    out += digits;
}

}  // namespace

std::string element(unsigned char tag, std::string_view content) {
    std::string out(1, static_cast<char>(tag));
    if (content.size() < 0x80) {
        out += static_cast<char>(content.size());
    } else {
        std::string length;
        for (size_t size = content.size(); size != 0; size >>= 8)
            length.insert(0, 1, static_cast<char>(size & 0xFF));
        out += static_cast<char>(0x80 | length.size());
        out += length;
    }
    return out.append(content);
}

std::string sequence(std::initializer_list<std::string_view> items) {
    return element(0x30, joined(items));
}

std::string set(std::initializer_list<std::string_view> items) {
    return element(0x31, joined(items));
}

std::string context(unsigned char number, std::string_view item) {
    return element(static_cast<unsigned char>(0xA0 | number), item);
}

std::string octetString(std::string_view bytes) { return element(0x04, bytes); }

std::string null() { return element(0x05, {}); }

std::string integer(unsigned long value) {
    std::string bigEndian;
    for (; value != 0; value >>= 8) bigEndian.insert(0, 1, static_cast<char>(value & 0xFF));
    return unsignedInteger(bigEndian);
}

std::string unsignedInteger(std::string_view bigEndian) {
    const size_t first = bigEndian.find_first_not_of('\0');
    std::string magnitude(first == std::string_view::npos ? "" : bigEndian.substr(first));
    // A set high bit would make the number negative; zero is one 0x00.
    if (magnitude.empty() || (magnitude[0] & 0x80) != 0) magnitude.insert(0, 1, '\0');
    return element(0x02, magnitude);
}

std::string objectId(std::string_view dotted) {
    std::vector<unsigned long> arcs;
    for (size_t start = 0; start <= dotted.size();) {
        size_t end = dotted.find('.', start);
        if (end == std::string_view::npos) end = dotted.size();
        unsigned long arc = 0;
        std::from_chars(dotted.data() + start, dotted.data() + end, arc);
        arcs.push_back(arc);
        start = end + 1;
    }
    std::string content;
    appendBase128(content, arcs.at(0) * 40 + arcs.at(1));
    for (size_t index = 2; index < arcs.size(); ++index) appendBase128(content, arcs[index]);
    return element(0x06, content);
}

}  // namespace der

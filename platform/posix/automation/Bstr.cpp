#include <climits>
#include <cstdlib>
#include <cstring>

#include <velcom/posix/oleauto.h>

#include "AutomationHeap.h"

namespace {

using ByteLength = std::uint32_t;

// The byte length sits in front of the characters; a wide zero (plus one byte for odd lengths)
// follows them, so that every BSTR is also a terminated string.
constexpr std::size_t kPrefix = sizeof(ByteLength);
constexpr std::size_t kTerminator = sizeof(OLECHAR) + 1;
constexpr UINT kMaxByteLength = UINT_MAX - kPrefix - kTerminator;

ByteLength* header(BSTR text) { return reinterpret_cast<ByteLength*>(text) - 1; }

BSTR allocate(const void* bytes, UINT byteLength) {
    if (byteLength > kMaxByteLength) return nullptr;
    auto* block = static_cast<unsigned char*>(
        velcom::detail::allocateAutomationBlock(kPrefix + byteLength + kTerminator));
    if (block == nullptr) return nullptr;
    const ByteLength length = byteLength;
    std::memcpy(block, &length, kPrefix);
    unsigned char* characters = block + kPrefix;
    if (bytes != nullptr)
        std::memcpy(characters, bytes, byteLength);
    else
        std::memset(characters, 0, byteLength);
    std::memset(characters + byteLength, 0, kTerminator);
    return reinterpret_cast<BSTR>(characters);
}

UINT lengthOf(const OLECHAR* text) {
    UINT length = 0;
    while (text[length] != 0) ++length;
    return length;
}

}  // namespace

extern "C" BSTR SysAllocString(const OLECHAR* text) {
    return text == nullptr ? nullptr : SysAllocStringLen(text, lengthOf(text));
}

extern "C" BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    if (length > kMaxByteLength / sizeof(OLECHAR)) return nullptr;
    return allocate(text, length * static_cast<UINT>(sizeof(OLECHAR)));
}

extern "C" BSTR SysAllocStringByteLen(LPCSTR bytes, UINT byteLength) {
    return allocate(bytes, byteLength);
}

extern "C" INT SysReAllocString(BSTR* target, const OLECHAR* text) {
    return SysReAllocStringLen(target, text, text == nullptr ? 0 : lengthOf(text));
}

extern "C" INT SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length) {
    if (target == nullptr) return FALSE;
    // The new text may lie inside the old string, so copy before freeing.
    BSTR replacement = SysAllocStringLen(text, length);
    if (replacement == nullptr) return FALSE;
    SysFreeString(*target);
    *target = replacement;
    return TRUE;
}

extern "C" void SysFreeString(BSTR text) {
    if (text != nullptr) velcom::detail::releaseAutomationBlock(header(text));
}

extern "C" UINT SysStringLen(BSTR text) {
    return text == nullptr ? 0 : *header(text) / static_cast<UINT>(sizeof(OLECHAR));
}

extern "C" UINT SysStringByteLen(BSTR text) { return text == nullptr ? 0 : *header(text); }

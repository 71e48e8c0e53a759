// What the transport tells its user through the back channel handed to Init: trace lines, the
// progress of a transfer, the final status line, and the answer's bytes. Without a back channel
// everything is dropped. Traces pass when their level shares a bit with the mask the back channel
// reported at Init.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <velTesseraComm/velTesseraComm.h>

inline constexpr LONG kTraceRequest = 1;
inline constexpr LONG kTraceFailure = 7;

class TransportReporter {
public:
    TransportReporter() = default;
    explicit TransportReporter(IvelBackChannel* backChannel);

    void trace(LONG level, const std::string& text) const;
    // percent is -1 while the size of the answer is not known.
    void progress(const std::string& address, SHORT percent) const;
    // Before the first bytes of an answer whose size is known: a progress of 0 percent with the
    // size in bytes, in decimal, as the second text.
    void announce(const std::string& address, std::int64_t size) const;
    void info(LONG status, const std::string& statusLine) const;
    // One Data call with the bytes as VT_ARRAY|VT_UI1.
    void data(std::string_view bytes) const;

private:
    velcom::ComPtr<IvelBackChannel> m_pBackChannel;
    LONG m_lTraceLevel = 7;
};

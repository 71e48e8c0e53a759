#include "errors/ErrorReporting.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>

#include <velTesseraComm/velTesseraComm.h>

#include "Utility/Format.h"
#include "text/AnsiText.h"
#include "tracer/ITracer.h"

namespace {

std::string_view fileName(std::string_view source) {
    const std::size_t separator = source.find_last_of("/\\");
    return separator == std::string_view::npos ? source : source.substr(separator + 1);
}

// text with " <file>(<line>):" after its first word, and room for `room` more characters. Built
// with one allocation and plain copies: it runs for every trace line, often with cold caches.
std::string composeTraceLine(const char* source, int line, std::string_view text,
                             std::size_t room) {
    const std::size_t blank = std::min(text.find(' '), text.size());
    // " <file>(<line>):" as a bounded printf would write it, composed without printf.
    char location[kFormatBufferSize - 1];
    std::size_t locationSize = 0;
    if (source != nullptr) {
        const auto put = [&](std::string_view piece) {
            const std::size_t count = std::min(piece.size(), sizeof location - locationSize);
            std::memcpy(location + locationSize, piece.data(), count);
            locationSize += count;
        };
        char number[16];
        const auto digits = std::to_chars(number, number + sizeof number, line);
        put(" ");
        put(fileName(source));
        put("(");
        put(std::string_view(number, static_cast<std::size_t>(digits.ptr - number)));
        put("):");
    }
    std::string composed;
    composed.reserve(text.size() + locationSize + room);
    composed.append(text.data(), blank)
        .append(location, locationSize)
        .append(text.data() + blank, text.size() - blank);
    return composed;
}

void sendTrace(LONG level, const std::string& line) {
    withTracer([&](ITracer& tracer) { tracer.trace(level, line.c_str()); });
}

}  // namespace

void traceAt(LONG level, const char* source, int line, const std::string& text) {
    if ((level & g_lTraceLevel.load(std::memory_order_relaxed)) == 0) return;
    std::string composed = composeTraceLine(source, line, text, 2);
    composed += "\r\n";
    sendTrace(level, composed);
}

void RepeatedTrace::send(LONG level, std::string_view tail) {
    if ((level & g_lTraceLevel.load(std::memory_order_relaxed)) == 0) return;
    if (m_text.empty()) {
        m_text = composeTraceLine(m_source, m_line, m_head, tail.size() + 2);
        m_headSize = m_text.size();
    }
    m_text.resize(m_headSize);
    m_text.append(tail).append("\r\n");
    assignBstr(m_hostText, m_text, m_headSize);
    withTracer([&](ITracer& tracer) { tracer.traceLine(level, m_hostText.get()); });
}

void reportError(LONG code, const char* text1, const char* text2, const char* text3) {
    withTracer([&](ITracer& tracer) { tracer.error(code, text1, text2, text3); });
}

HRESULT handleComError(const _com_error& error, const char* source, int line) {
    std::string text = "TSR ";
    const std::u16string description = error.Description();
    text += description.empty() ? error.ErrorMessage() : toAnsi(description);
    traceAt(kTraceHandler, source, line, text);
    reportError(error.Error());
    return error.Error();
}

HRESULT handleExceptionBase(const ExceptionBase& error, const char* source, int line) {
    traceAt(kTraceHandler, source, line,
            "TSR " + error.getText() + "(" + error.getLocation() + ")");
    const auto code = static_cast<HRESULT>(error.getCode());
    reportError(code);
    return code;
}

HRESULT handleStdException(const std::exception& error, const char* source, int line) {
    const int number = errno;
    traceAt(kTraceHandler, source, line,
            std::string("TSR Exception ") + error.what() + formatBoundedText(" (%d)", number));
    reportError(E_FAIL);
    return E_FAIL;
}

HRESULT interfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IID_IvelTesseraProxy) ? S_OK : S_FALSE;
}

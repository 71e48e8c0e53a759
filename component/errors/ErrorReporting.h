// How the component tells the host what went wrong: trace lines with their source location, error
// callbacks, and the exception handlers that close every automation method.
#pragma once

#include <exception>
#include <string>
#include <string_view>

#include <velcom/com.h>

#include "Utility/ExceptionBase.h"

// Trace levels: state messages, problems with the server's answer, exception handlers.
inline constexpr LONG kTraceState = 1;
inline constexpr LONG kTraceAnswer = 3;
inline constexpr LONG kTraceHandler = 7;

// Sends text as one trace line when level passes the mask, with " <file>(<line>):" inserted after
// its first word (the file name after the last "/" or "\"), and "\r\n" at the end.
void traceAt(LONG level, const char* source, int line, const std::string& text);

// A trace line sent again and again with only its end changing (every continuation line of a large
// value is one): what traceAt sends for head + tail, with the location put into head once. head
// holds a blank and outlives the object.
class RepeatedTrace {
public:
    RepeatedTrace(const char* source, int line, std::string_view head)
        : m_source(source), m_line(line), m_head(head) {}
    void send(LONG level, std::string_view tail);

private:
    const char* m_source;
    int m_line;
    std::string_view m_head;
    std::string m_text;  // the head with its location, then each line sent; empty until needed
    std::size_t m_headSize = 0;
    velcom::Bstr m_hostText;  // m_text as the host is given it, kept for the next line
};
// Reports an error code with up to three texts through the host's Error callback.
void reportError(LONG code, const char* text1 = nullptr, const char* text2 = nullptr,
                 const char* text3 = nullptr);

// Each traces the failure at level 7, reports its code and returns it as the method's result.
HRESULT handleComError(const _com_error& error, const char* source, int line);
HRESULT handleExceptionBase(const ExceptionBase& error, const char* source, int line);
HRESULT handleStdException(const std::exception& error, const char* source, int line);

// The component's answer to ISupportErrorInfo: error information for IvelTesseraProxy only.
HRESULT interfaceSupportsErrorInfo(REFIID riid);

#include "Utility/TraceLog.h"

#include <cstdarg>

std::atomic<Channel*> g_pTraceChannel{nullptr};
std::atomic<int> g_lTraceObjectCount{0};

namespace {

std::string nameOrEmpty(const char* name) { return name != nullptr ? name : ""; }

int nextObjectId() { return g_lTraceObjectCount.fetch_add(1) + 1; }

void writeLine(const char* format, ...) VEL_PRINTF_FORMAT(1, 2);

void writeLine(const char* format, ...) {
    Channel* channel = g_pTraceChannel.load();
    if (channel == nullptr) return;
    va_list args;
    va_start(args, format);
    channel->vprintf(format, args);
    va_end(args);
}

void writeReport(const char* heading, const char* file, int line, const char* format, va_list args)
    VEL_PRINTF_FORMAT(4, 0);

void writeReport(const char* heading, const char* file, int line, const char* format,
                 va_list args) {
    Channel* channel = g_pTraceChannel.load();
    if (channel == nullptr) return;
    if (file != nullptr) channel->printf("%s in File %s at Line %d\n", heading, file, line);
    if (format != nullptr) channel->vprintf(format, args);
}

}  // namespace

TraceObject::TraceObject(const char* name) : m_nId(nextObjectId()), m_strName(nameOrEmpty(name)) {
    writeLine("---> object %s %d constructed\n", m_strName.c_str(), m_nId);
}

TraceObject::TraceObject(const TraceObject& other)
    : m_nId(nextObjectId()), m_strName(other.m_strName) {
    writeLine("---> object %s %d constructed\n", m_strName.c_str(), m_nId);
}

TraceObject& TraceObject::operator=(const TraceObject& other) {
    writeLine("---- object %s %d assigned %s %d\n", m_strName.c_str(), m_nId,
              other.m_strName.c_str(), other.m_nId);
    m_strName = other.m_strName;
    return *this;
}

TraceObject::~TraceObject() {
    writeLine("<--- object %s %d destroyed\n", m_strName.c_str(), m_nId);
}

TraceScope::TraceScope(const char* name) : m_strName(nameOrEmpty(name)) {
    writeLine("---> begin %s\n", m_strName.c_str());
}

TraceScope::~TraceScope() { writeLine("<--- end %s\n", m_strName.c_str()); }

TraceCodePath::TraceCodePath(const char* text, int number) {
    writeLine("===> CodePath visited:%s - %d\n", nameOrEmpty(text).c_str(), number);
}

void traceAssert(bool condition, const char* file, int line, const char* format, ...) {
    if (condition) return;
    va_list args;
    va_start(args, format);
    writeReport("Assert", file, line, format, args);
    va_end(args);
}

void traceHit(const char* file, int line, const char* format, ...) {
    va_list args;
    va_start(args, format);
    writeReport("Hit", file, line, format, args);
    va_end(args);
}

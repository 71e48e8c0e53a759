// A debugging log of object lifetimes, scopes, visited code paths, failed assertions and hits.
// Every line goes to g_pTraceChannel; while that is null nothing is written, but ids are still
// handed out. The component never installs a channel itself; a program that wants the log does.
#pragma once

#include <atomic>
#include <string>

#include "Utility/Channel.h"
#include "Utility/Format.h"

// Atomic so that objects may be traced on several threads; ids are never reused in a process.
extern std::atomic<Channel*> g_pTraceChannel;
extern std::atomic<int> g_lTraceObjectCount;

class TraceObject {
public:
    explicit TraceObject(const char* name);
    // A copy is a new object: it gets a new id and the source's name.
    TraceObject(const TraceObject& other);
    // The target takes the source's name and keeps its own id.
    TraceObject& operator=(const TraceObject& other);
    ~TraceObject();

    int getId() const { return m_nId; }
    const std::string& getName() const { return m_strName; }

private:
    int m_nId;
    std::string m_strName;
};

class TraceScope {
public:
    explicit TraceScope(const char* name);
    ~TraceScope();
    TraceScope(const TraceScope&) = delete;
    TraceScope& operator=(const TraceScope&) = delete;

private:
    std::string m_strName;
};

class TraceCodePath {
public:
    TraceCodePath(const char* text, int number);
};

// With a false condition, writes "Assert in File <file> at Line <line>" (left out for a null
// file) and then the caller's message.
void traceAssert(bool condition, const char* file, int line, const char* format, ...)
    VEL_PRINTF_FORMAT(4, 5);
// Writes "Hit in File <file> at Line <line>" (left out for a null file) and the caller's message.
void traceHit(const char* file, int line, const char* format, ...) VEL_PRINTF_FORMAT(3, 4);

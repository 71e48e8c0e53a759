// The process-wide tracer: turns the component's own reports into callbacks on the host's back
// channel, filling in the thread, the time and the depth.
#pragma once

#include <atomic>

#include <velcom/com.h>

#include "Utility/Thread.h"

class ITracer {
public:
    virtual ~ITracer() = default;
    // Gives back one reference obtained from instance().
    virtual void release() = 0;
    virtual void error(LONG code, const char* text1, const char* text2, const char* text3) = 0;
    // True when the host answered exactly S_OK, or when there is no host to ask.
    virtual bool progress(LONG code, const char* text1, const char* text2, const char* text3,
                          SHORT percent, SHORT action) = 0;
    virtual void info(LONG code, const char* text1, const char* text2, const char* text3) = 0;
    // Not filtered here: the callers test the level against g_lTraceLevel.
    virtual void trace(LONG level, const char* text) = 0;
    // The same for a line already in the host's form; the caller keeps it.
    virtual void traceLine(LONG level, BSTR line) = 0;

    // The tracer with one reference for the caller, created on first use; null only when it
    // cannot be created.
    static ITracer* instance();
};

// A trace of level L reaches the host when L and the mask share a bit. Every proxy of the process
// shares it; the host sets it through its back channel's lTraceLevel.
extern std::atomic<LONG> g_lTraceLevel;

// Serialises the tracer's creation and its final release.
extern SyncObjPtr g_TracerLock;

// Makes a report through the tracer and gives the reference back; does nothing when no tracer can
// be had, so that reporting never fails for want of one.
template <class Report>
void withTracer(Report report) {
    if (ITracer* tracer = ITracer::instance()) {
        struct Release {
            ITracer* tracer;
            ~Release() { tracer->release(); }
        } guard{tracer};
        report(*tracer);
    }
}

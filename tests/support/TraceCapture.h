// The exact trace lines the host receives during one test, from the process-wide tracer.
#pragma once

#include "support/RecordingBackChannel.h"
#include "text/AnsiText.h"
#include "tracer/COMTracer.h"

class TraceCapture {
public:
    TraceCapture() : m_tracer(ITracer::instance()) {
        g_lTraceLevel = 7;
        dynamic_cast<COMTracer&>(*m_tracer).setBackChannel(&m_host);
    }
    ~TraceCapture() {
        dynamic_cast<COMTracer&>(*m_tracer).setBackChannel(nullptr);
        m_tracer->release();
        g_lTraceLevel = 7;
    }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    std::vector<std::string> lines() const {
        std::vector<std::string> texts;
        for (const auto& call : m_host.calls())
            if (call.kind == "Trace") texts.push_back(toAnsi(call.text1));
        return texts;
    }

private:
    RecordingBackChannel m_host;
    ITracer* m_tracer;
};

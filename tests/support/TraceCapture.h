// Installs a recording back channel on the process-wide tracer for one test, so a test can assert
// on the exact trace lines the host receives.
#pragma once

#include <string>
#include <vector>

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

    // The text of every Trace callback so far, in order.
    std::vector<std::string> lines() const {
        std::vector<std::string> texts;
        for (const auto& call : calls("Trace")) texts.push_back(toAnsi(call.text1));
        return texts;
    }

    // Every callback of one kind ("Error", "Trace" …) so far, in order.
    std::vector<BackChannelCall> calls(const std::string& kind) const {
        std::vector<BackChannelCall> matching;
        for (const auto& call : m_host.calls())
            if (call.kind == kind) matching.push_back(call);
        return matching;
    }

private:
    RecordingBackChannel m_host;
    ITracer* m_tracer;
};

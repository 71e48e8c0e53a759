// Tracing as a host sets it up: the default mask with a back channel that accepts every callback
// and does nothing with it, so that what is measured is the component's side of each trace.
#pragma once

#include <velTesseraComm/DispatchTables.h>
#include <velTesseraComm/velTesseraComm.h>

#include "tracer/COMTracer.h"

class QuietBackChannel : public velcom::DispatchImpl<IvelBackChannel> {
public:
    QuietBackChannel() : DispatchImpl(kIvelBackChannelMembers) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch) &&
            !IsEqualIID(riid, IID_IvelBackChannel)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IvelBackChannel*>(this);
        return S_OK;
    }
    // Owned by whoever declared it; the tracer's references do not decide its lifetime.
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP get_lTraceLevel(LONG* level) override {
        *level = 7;
        return S_OK;
    }
    STDMETHODIMP put_lTraceLevel(LONG) override { return S_OK; }
    STDMETHODIMP Error(LONG, LONG, LONG, LONG, BSTR, BSTR, BSTR) override { return S_OK; }
    STDMETHODIMP Progress(LONG, LONG, LONG, LONG, BSTR, BSTR, BSTR, SHORT, SHORT) override {
        return S_OK;
    }
    STDMETHODIMP Info(LONG, LONG, LONG, LONG, BSTR, BSTR, BSTR) override { return S_OK; }
    STDMETHODIMP Trace(LONG, LONG, LONG, LONG, BSTR) override { return S_OK; }
    STDMETHODIMP Data(LONG, LONG, LONG, VARIANT*) override { return S_OK; }
};

// Sets the trace mask for one benchmark: 0 traces nothing; any other mask also installs a quiet
// host, as the host's own level reaches the mask through its back channel.
class TraceSetting {
public:
    explicit TraceSetting(LONG mask) {
        if (mask != 0) {
            m_tracer = ITracer::instance();
            if (m_tracer != nullptr) static_cast<COMTracer*>(m_tracer)->setBackChannel(&m_host);
        }
        g_lTraceLevel = mask;
    }
    ~TraceSetting() {
        if (m_tracer != nullptr) {
            static_cast<COMTracer*>(m_tracer)->setBackChannel(nullptr);
            m_tracer->release();
        }
        g_lTraceLevel = 7;
    }
    // False when tracing was asked for but no tracer could be had.
    bool ready() const { return g_lTraceLevel == 0 || m_tracer != nullptr; }

    TraceSetting(const TraceSetting&) = delete;
    TraceSetting& operator=(const TraceSetting&) = delete;

private:
    QuietBackChannel m_host;
    ITracer* m_tracer = nullptr;
};

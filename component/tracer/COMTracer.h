// The tracer object: an ITracer for the component, a Channel for the object trace log, and an
// IvelBackChannel that forwards callbacks of components below it to the host one level deeper.
#pragma once

#include <mutex>

#include <velTesseraComm/DispatchTables.h>
#include <velTesseraComm/velTesseraComm.h>

#include "Utility/Channel.h"
#include "tracer/ITracer.h"

class COMTracer final : public ITracer,
                        public Channel,
                        public velcom::DispatchImpl<IvelBackChannel> {
public:
    // Releases the back channel held so far, keeps the new one and reads its lTraceLevel into
    // g_lTraceLevel when the host answers.
    void setBackChannel(IvelBackChannel* backChannel);

    // ITracer
    void release() override;
    void error(LONG code, const char* text1, const char* text2, const char* text3) override;
    bool progress(LONG code, const char* text1, const char* text2, const char* text3, SHORT percent,
                  SHORT action) override;
    void info(LONG code, const char* text1, const char* text2, const char* text3) override;
    void trace(LONG level, const char* text) override;
    void traceLine(LONG level, BSTR line) override;

    // Channel: formatted texts go out as level 7 traces behind "UNK ?[?): ".
    void printf(const char* format, ...) override VEL_PRINTF_FORMAT(2, 3);
    void vprintf(const char* format, va_list args) override VEL_PRINTF_FORMAT(2, 0);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IvelBackChannel
    STDMETHODIMP get_lTraceLevel(LONG* level) override;
    STDMETHODIMP put_lTraceLevel(LONG level) override;
    STDMETHODIMP Error(LONG threadId, LONG time, LONG depth, LONG code, BSTR text1, BSTR text2,
                       BSTR text3) override;
    STDMETHODIMP Progress(LONG threadId, LONG time, LONG depth, LONG code, BSTR text1, BSTR text2,
                          BSTR text3, SHORT percent, SHORT action) override;
    STDMETHODIMP Info(LONG threadId, LONG time, LONG depth, LONG code, BSTR text1, BSTR text2,
                      BSTR text3) override;
    STDMETHODIMP Trace(LONG threadId, LONG time, LONG depth, LONG level, BSTR text) override;
    STDMETHODIMP Data(LONG threadId, LONG time, LONG depth, VARIANT* data) override;

private:
    friend ITracer* ITracer::instance();
    COMTracer();
    ~COMTracer() override;

    // The host's back channel with a reference of its own, so that a report on one thread is
    // not cut short by setBackChannel on another.
    velcom::ComPtr<IvelBackChannel> backChannel() const;

    mutable std::mutex m_backChannelLock;
    velcom::ComPtr<IvelBackChannel> m_backChannel;
};

// A host's back channel that records every callback, safe to call from several threads.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include <velTesseraComm/DispatchTables.h>
#include <velTesseraComm/velTesseraComm.h>

#include "support/CallSide.h"
#include "support/OleText.h"

struct BackChannelCall {
    std::string kind;
    LONG threadId = 0, time = 0, depth = 0, code = 0;  // code: the trace level for a Trace
    std::u16string text1 = {}, text2 = {}, text3 = {};
    bool text1IsNull = false;
    SHORT percent = 0, action = 0;
    VARIANT* data = nullptr;      // the caller's pointer: compare it, never read it later
    VARTYPE dataType = VT_EMPTY;  // the type of *data at the call; VT_EMPTY for a null pointer
    std::string dataBytes = {};   // the bytes of a VT_ARRAY|VT_UI1, read during the call
};

class RecordingBackChannel : public velcom::DispatchImpl<IvelBackChannel> {
public:
    RecordingBackChannel() : DispatchImpl(kIvelBackChannelMembers) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        const bool known = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
                           IsEqualIID(riid, IID_IvelBackChannel);
        *object = known ? static_cast<IvelBackChannel*>(this) : nullptr;
        return known ? (AddRef(), S_OK) : E_NOINTERFACE;
    }
    // Lives on the test's stack; the count only tells whether references are balanced.
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override { return --references; }

    STDMETHODIMP get_lTraceLevel(LONG* level) override {
        return FAILED(traceLevelResult) ? traceLevelResult : (*level = traceLevel, S_OK);
    }
    STDMETHODIMP put_lTraceLevel(LONG level) override { return traceLevel = level, S_OK; }
    STDMETHODIMP Error(LONG threadId, LONG time, LONG depth, LONG code, BSTR text1, BSTR text2,
                       BSTR text3) override {
        const CallSide side(Side::host);
        return record(got("Error", threadId, time, depth, code, text1, text2, text3));
    }
    STDMETHODIMP Progress(LONG threadId, LONG time, LONG depth, LONG code, BSTR text1, BSTR text2,
                          BSTR text3, SHORT percent, SHORT action) override {
        const CallSide side(Side::host);
        record(got("Progress", threadId, time, depth, code, text1, text2, text3, percent, action));
        return progressResult;
    }
    STDMETHODIMP Info(LONG threadId, LONG time, LONG depth, LONG code, BSTR text1, BSTR text2,
                      BSTR text3) override {
        const CallSide side(Side::host);
        return record(got("Info", threadId, time, depth, code, text1, text2, text3));
    }
    STDMETHODIMP Trace(LONG threadId, LONG time, LONG depth, LONG level, BSTR text) override {
        const CallSide side(Side::host);
        return record(got("Trace", threadId, time, depth, level, text));
    }
    STDMETHODIMP Data(LONG threadId, LONG time, LONG depth, VARIANT* data) override {
        const CallSide side(Side::host);
        BackChannelCall call{"Data", threadId, time, depth};
        call.data = data;
        call.dataType = data ? data->vt : VARTYPE{VT_EMPTY};
        if (call.dataType == (VT_ARRAY | VT_UI1) && data->parray != nullptr)
            call.dataBytes.assign(velcom::SafeArrayData<char>(data->parray).data(),
                                  data->parray->rgsabound[0].cElements);
        const HRESULT recorded = record(call);
        return FAILED(dataResult) ? dataResult : recorded;
    }

    std::vector<BackChannelCall> calls() const {
        const std::lock_guard lock(m_lock);
        return m_calls;
    }
    std::size_t count() const { return calls().size(); }

    std::atomic<ULONG> references{1};
    LONG traceLevel = 7;
    HRESULT traceLevelResult = S_OK;
    HRESULT progressResult = S_OK;
    HRESULT dataResult = S_OK;
    HRESULT callbackResult = S_OK;

private:
    static BackChannelCall got(const char* kind, LONG threadId, LONG time, LONG depth, LONG code,
                               BSTR text1, BSTR text2 = nullptr, BSTR text3 = nullptr,
                               SHORT percent = 0, SHORT action = 0) {
        return {kind,          threadId,      time,   depth,   code,  textOf(text1),
                textOf(text2), textOf(text3), !text1, percent, action};
    }
    HRESULT record(const BackChannelCall& call) {
        const std::lock_guard lock(m_lock);
        m_calls.push_back(call);
        return callbackResult;
    }

    mutable std::mutex m_lock;
    std::vector<BackChannelCall> m_calls;
};

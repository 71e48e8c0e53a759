// A host's back channel that records every callback, for asserting on what a host receives.
// Safe to call from several threads.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include <velTesseraComm/DispatchTables.h>
#include <velTesseraComm/velTesseraComm.h>

#include "support/OleText.h"

struct BackChannelCall {
    std::string kind;
    LONG threadId = 0;
    LONG time = 0;
    LONG depth = 0;
    LONG code = 0;  // the error or text code, or the trace level
    std::u16string text1;
    std::u16string text2;
    std::u16string text3;
    bool text1IsNull = false;
    SHORT percent = 0;
    SHORT action = 0;
    VARIANT* data = nullptr;      // the caller's pointer: compare it, never read it later
    VARTYPE dataType = VT_EMPTY;  // the type of *data at the call; VT_EMPTY for a null pointer
    std::string dataBytes = {};   // the bytes of a VT_ARRAY|VT_UI1, read during the call
};

class RecordingBackChannel : public velcom::DispatchImpl<IvelBackChannel> {
public:
    RecordingBackChannel() : DispatchImpl(kIvelBackChannelMembers) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch) &&
            !IsEqualIID(riid, IID_IvelBackChannel)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IvelBackChannel*>(this);
        AddRef();
        return S_OK;
    }
    // Lives on the test's stack; the count only tells whether references are balanced.
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override { return --references; }

    STDMETHODIMP get_lTraceLevel(LONG* level) override {
        if (FAILED(traceLevelResult)) return traceLevelResult;
        *level = traceLevel;
        return S_OK;
    }
    STDMETHODIMP put_lTraceLevel(LONG level) override {
        traceLevel = level;
        return S_OK;
    }
    STDMETHODIMP Error(LONG threadId, LONG time, LONG depth, LONG code, BSTR text1, BSTR text2,
                       BSTR text3) override {
        return record({"Error", threadId, time, depth, code, textOf(text1), textOf(text2),
                       textOf(text3), text1 == nullptr});
    }
    STDMETHODIMP Progress(LONG threadId, LONG time, LONG depth, LONG code, BSTR text1, BSTR text2,
                          BSTR text3, SHORT percent, SHORT action) override {
        BackChannelCall call{"Progress",    threadId,      time,          depth,           code,
                             textOf(text1), textOf(text2), textOf(text3), text1 == nullptr};
        call.percent = percent;
        call.action = action;
        record(call);
        return progressResult;
    }
    STDMETHODIMP Info(LONG threadId, LONG time, LONG depth, LONG code, BSTR text1, BSTR text2,
                      BSTR text3) override {
        return record({"Info", threadId, time, depth, code, textOf(text1), textOf(text2),
                       textOf(text3), text1 == nullptr});
    }
    STDMETHODIMP Trace(LONG threadId, LONG time, LONG depth, LONG level, BSTR text) override {
        return record(
            {"Trace", threadId, time, depth, level, textOf(text), {}, {}, text == nullptr});
    }
    STDMETHODIMP Data(LONG threadId, LONG time, LONG depth, VARIANT* data) override {
        BackChannelCall call;
        call.kind = "Data";
        call.threadId = threadId;
        call.time = time;
        call.depth = depth;
        call.data = data;
        if (data != nullptr) {
            call.dataType = data->vt;
            if (data->vt == (VT_ARRAY | VT_UI1)) call.dataBytes = bytesOf(data->parray);
        }
        return record(call);
    }

    std::vector<BackChannelCall> calls() const {
        const std::lock_guard lock(m_lock);
        return m_calls;
    }
    std::size_t count() const {
        const std::lock_guard lock(m_lock);
        return m_calls.size();
    }
    // The bytes of every Data call, concatenated in call order.
    std::string dataReceived() const {
        const std::lock_guard lock(m_lock);
        std::string bytes;
        for (const auto& call : m_calls) bytes += call.dataBytes;
        return bytes;
    }

    std::atomic<ULONG> references{1};
    LONG traceLevel = 7;
    HRESULT traceLevelResult = S_OK;
    HRESULT progressResult = S_OK;
    HRESULT callbackResult = S_OK;

private:
    // The elements of the first dimension; nothing when the array cannot be read.
    static std::string bytesOf(SAFEARRAY* array) {
        LONG lower = 0;
        LONG upper = -1;
        if (array == nullptr || FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
            FAILED(SafeArrayGetUBound(array, 1, &upper)) || upper < lower)
            return {};
        const velcom::SafeArrayData<char> data(array);
        if (data.data() == nullptr) return {};
        return std::string(data.data(), static_cast<std::size_t>(upper - lower + 1));
    }

    HRESULT record(const BackChannelCall& call) {
        const std::lock_guard lock(m_lock);
        m_calls.push_back(call);
        return callbackResult;
    }

    mutable std::mutex m_lock;
    std::vector<BackChannelCall> m_calls;
};

// One host back channel for every proxy of the process: it counts, per thread that the component
// names, the answers, trace lines and error reports, and how often the thread named is not the
// thread that called.
#pragma once

#include <atomic>
#include <map>
#include <mutex>

#include <velTesseraComm/DispatchTables.h>
#include <velTesseraComm/velTesseraComm.h>

struct ThreadCounts {
    long answers = 0, traces = 0, errors = 0;
};

class CountingBackChannel final : public velcom::DispatchImpl<IvelBackChannel> {
public:
    CountingBackChannel() : DispatchImpl(kIvelBackChannelMembers) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        const bool known = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
                           IsEqualIID(riid, IID_IvelBackChannel);
        *object = known ? static_cast<IvelBackChannel*>(this) : nullptr;
        return known ? (AddRef(), S_OK) : E_NOINTERFACE;
    }
    // Owned by the test, which outlives every proxy.
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override { return --m_references; }

    // Every level, so that the tracer carries as many lines as it can.
    STDMETHODIMP get_lTraceLevel(LONG* level) override { return *level = 7, S_OK; }
    STDMETHODIMP put_lTraceLevel(LONG) override { return S_OK; }
    STDMETHODIMP Error(LONG thread, LONG, LONG, LONG, BSTR, BSTR, BSTR) override {
        return count(thread, &ThreadCounts::errors);
    }
    STDMETHODIMP Progress(LONG, LONG, LONG, LONG, BSTR, BSTR, BSTR, SHORT, SHORT) override {
        return S_OK;
    }
    STDMETHODIMP Info(LONG thread, LONG, LONG, LONG, BSTR, BSTR, BSTR) override {
        return count(thread, &ThreadCounts::answers);
    }
    STDMETHODIMP Trace(LONG thread, LONG, LONG, LONG, BSTR) override {
        return count(thread, &ThreadCounts::traces);
    }
    STDMETHODIMP Data(LONG, LONG, LONG, VARIANT*) override { return S_OK; }

    std::map<LONG, ThreadCounts> counts() const {
        const std::lock_guard lock(m_mutex);
        return m_counts;
    }
    long misnamedThreads() const {
        const std::lock_guard lock(m_mutex);
        return m_misnamed;
    }
    ULONG references() const { return m_references; }

private:
    HRESULT count(LONG thread, long ThreadCounts::*field) {
        const std::lock_guard lock(m_mutex);
        ++(m_counts[thread].*field);
        if (thread != static_cast<LONG>(GetCurrentThreadId())) ++m_misnamed;
        return S_OK;
    }

    std::atomic<ULONG> m_references{0};
    mutable std::mutex m_mutex;
    std::map<LONG, ThreadCounts> m_counts;
    long m_misnamed = 0;
};

// The back channel tessera hands the proxy: it keeps the error reports, the last failure trace
// and the last page of a call for the message the user sees, counts the answers the server gave,
// shows a progress line on a terminal (without the applicant's path token) and, when verbose,
// every trace line.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include <velTesseraComm/DispatchTables.h>
#include <velTesseraComm/velTesseraComm.h>

struct ErrorReport {
    LONG code = 0;
    std::string text1, text2, text3;
};

class HostBackChannel final : public velcom::DispatchImpl<IvelBackChannel> {
public:
    static velcom::ComPtr<HostBackChannel> create(bool verbose);

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP get_lTraceLevel(LONG* level) override;
    STDMETHODIMP put_lTraceLevel(LONG) override { return S_OK; }
    STDMETHODIMP Error(LONG, LONG, LONG, LONG code, BSTR text1, BSTR text2, BSTR text3) override;
    STDMETHODIMP Progress(LONG, LONG, LONG, LONG, BSTR text1, BSTR, BSTR, SHORT percent,
                          SHORT) override;
    STDMETHODIMP Info(LONG, LONG, LONG, LONG code, BSTR text1, BSTR, BSTR) override;
    STDMETHODIMP Trace(LONG, LONG, LONG, LONG level, BSTR text) override;
    STDMETHODIMP Data(LONG, LONG, LONG, VARIANT* data) override;

    // Forgets what the previous call reported.
    void startCall();
    const std::vector<ErrorReport>& errors() const { return m_errors; }
    const std::string& failureTrace() const { return m_failureTrace; }
    int answers() const { return m_answers; }
    // The body of the last answer, or its first kPageLimit bytes.
    const std::string& lastPage() const { return m_page; }
    static constexpr std::size_t kPageLimit = 64 * 1024;
    // Ends the progress line, so that the next output starts on a line of its own.
    void clearProgress();

private:
    explicit HostBackChannel(bool verbose);

    std::atomic<ULONG> m_references{1};
    bool m_verbose;
    bool m_progressShown = false;
    std::vector<ErrorReport> m_errors;
    std::string m_failureTrace;
    int m_answers = 0;
    std::string m_page;
    bool m_pageComplete = false;
};

#include "errors/ErrorReporting.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/TraceCapture.h"

namespace {

TEST(ErrorReportingTest, TraceLinesNameTheirFileAfterTheFirstWordWhenTheMaskAllows) {
    TraceCapture capture;
    const std::string longSource(2000, 's');
    traceAt(1, "velTesseraProxy", 1243, "TSR not initialized");
    traceAt(1, "velTesseraProxy", 12, "TSR");
    traceAt(3, "src/a\\b/mtGParser", 7, "TSR bad block");
    traceAt(3, nullptr, 7, "TSR no source");
    traceAt(7, longSource.c_str(), 1, "TSR long");
    g_lTraceLevel = 2;
    traceAt(kTraceState, "s", 1, "TSR state");
    traceAt(kTraceAnswer, "s", 2, "TSR answer");
    traceAt(kTraceHandler, "s", 3, "TSR handler");
    g_lTraceLevel = 0;
    traceAt(kTraceHandler, "s", 4, "TSR silent");

    const std::vector<std::string> expected{"TSR velTesseraProxy(1243): not initialized\r\n",
                                            "TSR velTesseraProxy(12):\r\n",
                                            "TSR mtGParser(7): bad block\r\n",
                                            "TSR no source\r\n",
                                            "TSR " + std::string(1022, 's') + " long\r\n",
                                            "TSR s(2): answer\r\n",
                                            "TSR s(3): handler\r\n"};
    EXPECT_EQ(capture.lines(), expected);
    std::vector<LONG> levels;
    for (const auto& call : capture.calls("Trace")) levels.push_back(call.code);
    EXPECT_EQ(levels, (std::vector<LONG>{1, 1, 3, 3, 7, 3, 7}));
}

TEST(ErrorReportingTest, HandlersTraceTheFailureAtLevelSevenReportItsCodeAndReturnIt) {
    velcom::ComPtr<ICreateErrorInfo> creator;
    ASSERT_EQ(CreateErrorInfo(creator.put()), S_OK);
    creator->SetDescription(const_cast<LPOLESTR>(OLESTR("PKI store locked")));
    velcom::ComPtr<IErrorInfo> described;
    creator.as(described);
    const struct {
        const char* name;
        std::function<HRESULT()> handle;
        HRESULT code;
        std::string trace;
    } rows[] = {
        {"a COM error without error object shows the system's message",
         [] { return handleComError(_com_error(E_OUTOFMEMORY), "velTesseraProxy", 300); },
         E_OUTOFMEMORY, "TSR velTesseraProxy(300): " + _com_error(E_OUTOFMEMORY).ErrorMessage()},
        {"a COM error with a description shows only that",
         [&] { return handleComError(_com_error(E_FAIL, described.get(), true), "p", 9); }, E_FAIL,
         "TSR p(9): PKI store locked"},
        {"an ExceptionBase shows its text and location",
         [] { return handleExceptionBase(Invariant("velNode", 12), "p", 400); },
         static_cast<HRESULT>(Invariant::kCode),
         "TSR p(400): Invariant violated(File velNode at Line 12)"},
        {"a standard exception is E_FAIL with the thread's error number",
         [] {
             errno = ENOENT;
             return handleStdException(std::runtime_error("bad map"), "p", 5);
         },
         E_FAIL, "TSR p(5): Exception bad map (" + std::to_string(ENOENT) + ")"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TraceCapture capture;
        EXPECT_EQ(row.handle(), row.code);
        EXPECT_EQ(capture.lines(), std::vector<std::string>{row.trace + "\r\n"});
        ASSERT_EQ(capture.calls("Trace").size(), 1u);
        EXPECT_EQ(capture.calls("Trace")[0].code, 7);
        const auto errors = capture.calls("Error");
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].code, row.code);
        EXPECT_TRUE(errors[0].text1IsNull);
    }
}

TEST(ErrorReportingTest, WithoutHostReportsAreDroppedButTheCodeReturned) {
    EXPECT_EQ(handleStdException(std::logic_error("x"), "velTesseraProxy", 1), E_FAIL);
    reportError(TSR_E_SERVER, "a", "b", "c");
}

TEST(ErrorReportingTest, OnlyTheMainProxyInterfaceSupportsErrorInfo) {
    EXPECT_EQ(interfaceSupportsErrorInfo(IID_IvelTesseraProxy), S_OK);
    EXPECT_EQ(interfaceSupportsErrorInfo(IID_IvelTesseraProxyEx), S_FALSE);
    EXPECT_EQ(interfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
}

}  // namespace

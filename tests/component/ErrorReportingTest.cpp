#include "errors/ErrorReporting.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <stdexcept>

#include "support/RecordingBackChannel.h"
#include "tracer/COMTracer.h"

namespace {

class ErrorReportingTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_lTraceLevel = 7;
        tracer = ITracer::instance();
        dynamic_cast<COMTracer&>(*tracer).setBackChannel(&host);
    }
    void TearDown() override {
        dynamic_cast<COMTracer&>(*tracer).setBackChannel(nullptr);
        tracer->release();
        g_lTraceLevel = 7;
    }

    std::u16string onlyTrace() {
        const auto calls = host.calls();
        EXPECT_GE(calls.size(), 1u);
        return calls.empty() ? u"" : calls[0].text1;
    }

    RecordingBackChannel host;
    ITracer* tracer = nullptr;
};

TEST_F(ErrorReportingTest, LocationFollowsTheFirstWord) {
    traceAt(1, "velTesseraProxy", 1243, "TSR not initialized");
    traceAt(1, "velTesseraProxy", 12, "TSR");
    traceAt(3, "src/a\\b/mtGParser", 7, "TSR bad block");
    traceAt(3, nullptr, 7, "TSR no source");
    const auto calls = host.calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].text1, u"TSR velTesseraProxy(1243): not initialized\r\n");
    EXPECT_EQ(calls[0].code, 1);
    EXPECT_EQ(calls[1].text1, u"TSR velTesseraProxy(12):\r\n");
    EXPECT_EQ(calls[2].text1, u"TSR mtGParser(7): bad block\r\n");
    EXPECT_EQ(calls[3].text1, u"TSR no source\r\n");
}

TEST_F(ErrorReportingTest, MaskDecidesWhichLevelsAreTraced) {
    g_lTraceLevel = 2;
    traceAt(kTraceState, "s", 1, "TSR state");
    traceAt(kTraceAnswer, "s", 2, "TSR answer");
    traceAt(kTraceHandler, "s", 3, "TSR handler");
    g_lTraceLevel = 0;
    traceAt(kTraceHandler, "s", 4, "TSR silent");
    const auto calls = host.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].code, 3);
    EXPECT_EQ(calls[1].code, 7);
}

TEST_F(ErrorReportingTest, ComErrorWithoutErrorObjectUsesTheSystemMessage) {
    EXPECT_EQ(handleComError(_com_error(E_OUTOFMEMORY), "velTesseraProxy", 300), E_OUTOFMEMORY);
    const auto calls = host.calls();
    ASSERT_EQ(calls.size(), 2u);
    const std::string expected =
        "TSR velTesseraProxy(300): " + _com_error(E_OUTOFMEMORY).ErrorMessage() + "\r\n";
    EXPECT_EQ(calls[0].text1, std::u16string(expected.begin(), expected.end()));
    EXPECT_EQ(calls[0].code, 7);
    EXPECT_EQ(calls[1].kind, "Error");
    EXPECT_EQ(calls[1].code, E_OUTOFMEMORY);
    EXPECT_TRUE(calls[1].text1IsNull);
}

TEST_F(ErrorReportingTest, ComErrorWithDescriptionUsesOnlyTheDescription) {
    velcom::ComPtr<ICreateErrorInfo> creator;
    CreateErrorInfo(creator.put());
    creator->SetDescription(const_cast<LPOLESTR>(OLESTR("PKI store locked")));
    velcom::ComPtr<IErrorInfo> info;
    creator.as(info);
    handleComError(_com_error(E_FAIL, info.get(), true), "velTesseraProxy", 9);
    EXPECT_EQ(onlyTrace(), u"TSR velTesseraProxy(9): PKI store locked\r\n");
}

TEST_F(ErrorReportingTest, ExceptionBaseShowsTextAndLocation) {
    EXPECT_EQ(handleExceptionBase(Invariant("velNode", 12), "velTesseraProxy", 400),
              static_cast<HRESULT>(Invariant::kCode));
    EXPECT_EQ(onlyTrace(),
              u"TSR velTesseraProxy(400): Invariant violated(File velNode at Line 12)\r\n");
    EXPECT_EQ(host.calls()[1].code, static_cast<LONG>(Invariant::kCode));
}

TEST_F(ErrorReportingTest, StandardExceptionIsEFailWithTheThreadsErrorNumber) {
    errno = ENOENT;
    EXPECT_EQ(handleStdException(std::runtime_error("bad map"), "velTesseraProxy", 5), E_FAIL);
    const std::string expected =
        "TSR velTesseraProxy(5): Exception bad map (" + std::to_string(ENOENT) + ")\r\n";
    EXPECT_EQ(onlyTrace(), std::u16string(expected.begin(), expected.end()));
    EXPECT_EQ(host.calls()[1].code, E_FAIL);
}

TEST(SupportErrorInfoTest, OnlyTheMainProxyInterfaceSupportsErrorInfo) {
    EXPECT_EQ(interfaceSupportsErrorInfo(IID_IvelTesseraProxy), S_OK);
    EXPECT_EQ(interfaceSupportsErrorInfo(IID_IvelTesseraProxyEx), S_FALSE);
    EXPECT_EQ(interfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
}

TEST(ErrorReportingWithoutHostTest, ReportsAreDroppedButTheCodeReturned) {
    EXPECT_EQ(handleStdException(std::logic_error("x"), "velTesseraProxy", 1), E_FAIL);
    reportError(TSR_E_SERVER, "a", "b", "c");
}

}  // namespace

// The tracer and the trace lines of error reporting: what the host's back channel receives. The
// exception handlers' traces and error reports are pinned by the proxy's tests.
#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "Utility/TraceLog.h"
#include "errors/ErrorReporting.h"
#include "module/ModuleLock.h"
#include "support/RecordingBackChannel.h"
#include "support/RecordingChannel.h"
#include "tracer/COMTracer.h"

namespace {

COMTracer& asComTracer(ITracer* tracer) { return *dynamic_cast<COMTracer*>(tracer); }

// "<kind><code>@<depth>" of each callback the host received.
std::string summary(const RecordingBackChannel& host) {
    std::string text;
    for (const auto& call : host.calls())
        text += call.kind + std::to_string(call.code) + "@" + std::to_string(call.depth) + " ";
    return text;
}

// Holds the tracer with the recorder as the host's back channel for one test.
class TracerTest : public ::testing::Test {
protected:
    void SetUp() override { asComTracer(tracer).setBackChannel(&host); }
    void TearDown() override {
        asComTracer(tracer).setBackChannel(nullptr);
        tracer->release();
        g_lTraceLevel = 7;
        EXPECT_EQ(host.references, 1u) << "every reference on the host was given back";
    }

    RecordingBackChannel host;
    ITracer* tracer = ITracer::instance();
    IvelBackChannel& forwarder = asComTracer(tracer);
};

TEST_F(TracerTest, ReportsCarryThreadTimeDepthZeroAndTheirTexts) {
    const auto before = static_cast<LONG>(std::time(nullptr));
    tracer->trace(3, "TSR answer");
    tracer->error(5, "one", nullptr, "gr\xC3\xBC\xC3\x9F");
    tracer->info(6, nullptr, nullptr, nullptr);
    EXPECT_TRUE(tracer->progress(1, "a", "b", "c", 50, 2));
    const auto after = static_cast<LONG>(std::time(nullptr));
    for (const HRESULT answer : {S_FALSE, E_FAIL}) {
        host.progressResult = answer;
        EXPECT_FALSE(tracer->progress(1, "a", "b", "c", 50, 2)) << "true only for exactly S_OK";
    }
    EXPECT_EQ(summary(host), "Trace3@0 Error5@0 Info6@0 Progress1@0 Progress1@0 Progress1@0 ");
    const auto calls = host.calls();
    for (const auto& call : calls) {
        EXPECT_EQ(call.threadId, static_cast<LONG>(GetCurrentThreadId()));
        EXPECT_TRUE(call.time >= before && call.time <= after);
    }
    EXPECT_EQ(calls[0].text1, u"TSR answer");
    EXPECT_EQ(calls[1].text1 + u"|" + calls[1].text2 + u"|" + calls[1].text3, u"one||grüß");
    EXPECT_TRUE(calls[2].text1IsNull) << "a null text becomes a null BSTR";
    EXPECT_EQ(calls[3].text1 + calls[3].text2 + calls[3].text3, u"abc");
    EXPECT_EQ(std::to_string(calls[3].percent) + "% " + std::to_string(calls[3].action), "50% 2");
}

TEST_F(TracerTest, CallbacksFromBelowGoOneLevelDeeperWithTheHostsAnswerTracesByTheMask) {
    host.callbackResult = static_cast<HRESULT>(0x80041234);
    host.progressResult = S_FALSE;
    const velcom::Bstr text(u"from below");
    VARIANT data{};  // VT_EMPTY
    g_lTraceLevel = 2;
    EXPECT_EQ(forwarder.Trace(11, 22, 4, 1, text.get()), S_OK) << "1 shares no bit with mask 2";
    EXPECT_EQ(forwarder.Trace(11, 22, 4, 3, text.get()), host.callbackResult);
    EXPECT_EQ(forwarder.Error(11, 22, 5, 9, text.get(), nullptr, nullptr), host.callbackResult);
    EXPECT_EQ(forwarder.Info(11, 22, 6, 8, text.get(), nullptr, nullptr), host.callbackResult);
    EXPECT_EQ(forwarder.Data(11, 22, 7, &data), host.callbackResult);
    EXPECT_EQ(forwarder.Progress(11, 22, 8, 6, text.get(), nullptr, nullptr, 0, 0), S_FALSE);
    g_lTraceLevel = 0;
    tracer->trace(1, "own reports are not filtered by the tracer");
    EXPECT_EQ(summary(host), "Trace3@5 Error9@6 Info8@7 Data0@8 Progress6@9 Trace1@0 ");
    const auto calls = host.calls();
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(std::to_string(calls[i].threadId) + "/" + std::to_string(calls[i].time), "11/22");
        EXPECT_EQ(calls[i].text1, i == 3 ? u"" : u"from below");
    }
    EXPECT_EQ(calls[3].data, &data) << "the data is passed on unchanged";

    LONG level = 0;
    host.traceLevel = 5;
    EXPECT_EQ(forwarder.get_lTraceLevel(&level), S_OK);
    EXPECT_EQ(level, 5);
    EXPECT_EQ(forwarder.put_lTraceLevel(6), S_OK);
    EXPECT_EQ(host.traceLevel, 6);
}

TEST_F(TracerTest, ChannelOutputIsALevelSevenTraceWhateverTheMask) {
    g_lTraceLevel = 0;
    asComTracer(tracer).printf("%s", std::string(2000, 'x').c_str());
    EXPECT_EQ(summary(host), "Trace7@0 ");
    EXPECT_EQ(host.calls()[0].text1, u"UNK ?[?): " + std::u16string(1023, u'x'));
}

TEST_F(TracerTest, BackChannelSetsTheMaskUnlessItsGetterFails) {
    RecordingBackChannel other;
    other.traceLevel = 2;
    asComTracer(tracer).setBackChannel(&other);
    EXPECT_EQ(g_lTraceLevel, 2);
    RecordingBackChannel failing;
    failing.traceLevelResult = E_FAIL;
    failing.traceLevel = 4;
    asComTracer(tracer).setBackChannel(&failing);
    EXPECT_EQ(g_lTraceLevel, 2) << "keeps the value set by the earlier back channel";
    asComTracer(tracer).setBackChannel(&host);
    EXPECT_EQ(other.references + failing.references, 2u);
}

TEST_F(TracerTest, ErrorReportingTracesNameTheFileAfterTheFirstWordWhenTheMaskAllows) {
    traceAt(1, "velTesseraProxy", 1243, "TSR not initialized");
    traceAt(1, "velTesseraProxy", 12, "TSR");
    traceAt(3, "src/a\\b/mtGParser", 7, "TSR bad block");
    traceAt(3, nullptr, 7, "TSR no source");
    traceAt(7, std::string(2000, 's').c_str(), 1, "TSR long");
    g_lTraceLevel = 2;
    traceAt(kTraceState, "s", 1, "TSR state");
    traceAt(kTraceAnswer, "s", 2, "TSR answer");
    traceAt(kTraceHandler, "s", 3, "TSR handler");
    g_lTraceLevel = 0;
    traceAt(kTraceHandler, "s", 4, "TSR silent");
    EXPECT_EQ(summary(host), "Trace1@0 Trace1@0 Trace3@0 Trace3@0 Trace7@0 Trace3@0 Trace7@0 ");
    std::vector<std::u16string> lines;
    for (const auto& call : host.calls()) lines.push_back(call.text1);
    const std::vector<std::u16string> expected{u"TSR velTesseraProxy(1243): not initialized\r\n",
                                               u"TSR velTesseraProxy(12):\r\n",
                                               u"TSR mtGParser(7): bad block\r\n",
                                               u"TSR no source\r\n",
                                               u"TSR " + std::u16string(1022, u's') + u" long\r\n",
                                               u"TSR s(2): answer\r\n",
                                               u"TSR s(3): handler\r\n"};
    EXPECT_EQ(lines, expected);
}

TEST(TracerLifetimeTest, LastReleaseDestroysTheTracerAndANewOneHasNoBackChannel) {
    const LONG locksBefore = moduleLockCount();
    RecordingBackChannel host;
    RecordingChannel log;
    ITracer* tracer = ITracer::instance();
    EXPECT_EQ(moduleLockCount(), locksBefore + 1) << "a live tracer holds the module";
    asComTracer(tracer).setBackChannel(&host);
    g_pTraceChannel = &log;
    tracer->release();
    EXPECT_EQ(moduleLockCount(), locksBefore);
    EXPECT_EQ(g_pTraceChannel.load(), nullptr) << "the trace log loses its channel with the tracer";
    EXPECT_EQ(host.references, 1u) << "the host's back channel was released";

    tracer = ITracer::instance();
    tracer->trace(7, "nobody hears this");
    tracer->error(1, "dropped", nullptr, nullptr);
    EXPECT_TRUE(tracer->progress(1, "a", nullptr, nullptr, 0, 0));
    VARIANT data{};  // VT_EMPTY
    EXPECT_EQ(asComTracer(tracer).Data(1, 2, 3, &data), S_OK);
    LONG level = 42;
    EXPECT_EQ(asComTracer(tracer).get_lTraceLevel(&level), S_OK);
    EXPECT_EQ(level, 42) << "the out parameter is left alone";
    tracer->release();
    EXPECT_EQ(host.count(), 0u);
}

TEST(TracerLifetimeTest, ConcurrentUsersShareOneTracerAndLoseNoReport) {
    const LONG locksBefore = moduleLockCount();
    RecordingBackChannel host;
    ITracer* keeper = ITracer::instance();
    asComTracer(keeper).setBackChannel(&host);
    std::atomic<int> missing{0};
    // First with a tracer kept alive, then with every thread creating and destroying tracers
    // against the others.
    for (const bool kept : {true, false}) {
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&missing] {
                for (int i = 0; i < 500; ++i) {
                    ITracer* tracer = ITracer::instance();
                    if (tracer == nullptr) {
                        ++missing;
                        continue;
                    }
                    tracer->trace(7, "report");
                    tracer->release();
                }
            });
        for (auto& thread : threads) thread.join();
        if (!kept) continue;
        EXPECT_EQ(host.count(), 2000u);
        asComTracer(keeper).setBackChannel(nullptr);
        keeper->release();
    }
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(moduleLockCount(), locksBefore) << "no tracer outlived its last reference";
}

}  // namespace

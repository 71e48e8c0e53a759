#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "Utility/TraceLog.h"
#include "module/ModuleLock.h"
#include "support/RecordingBackChannel.h"
#include "support/RecordingChannel.h"
#include "tracer/COMTracer.h"

namespace {

COMTracer& asComTracer(ITracer* tracer) { return *dynamic_cast<COMTracer*>(tracer); }

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
    const bool goOn = tracer->progress(1, "a", "b", "c", 50, 2);
    const auto after = static_cast<LONG>(std::time(nullptr));

    const auto calls = host.calls();
    ASSERT_EQ(calls.size(), 4u);
    for (const auto& call : calls) {
        EXPECT_EQ(call.threadId, static_cast<LONG>(GetCurrentThreadId()));
        EXPECT_TRUE(call.time >= before && call.time <= after);
        EXPECT_EQ(call.depth, 0);
    }
    EXPECT_EQ(calls[0].kind + std::to_string(calls[0].code), "Trace3");
    EXPECT_EQ(calls[0].text1, u"TSR answer");
    EXPECT_EQ(calls[1].kind + std::to_string(calls[1].code), "Error5");
    EXPECT_EQ(calls[1].text1 + u"|" + calls[1].text2 + u"|" + calls[1].text3, u"one||grüß");
    EXPECT_EQ(calls[2].kind + std::to_string(calls[2].code), "Info6");
    EXPECT_TRUE(calls[2].text1IsNull) << "a null text becomes a null BSTR";
    EXPECT_EQ(calls[3].text3, u"c");
    EXPECT_EQ(calls[3].percent, 50);
    EXPECT_EQ(calls[3].action, 2);
    EXPECT_TRUE(goOn);
    for (const HRESULT answer : {S_FALSE, E_FAIL}) {
        host.progressResult = answer;
        EXPECT_FALSE(tracer->progress(1, "a", "b", "c", 50, 2)) << "true only for exactly S_OK";
    }
}

TEST_F(TracerTest, ForwardedTracesAreFilteredByTheMaskAndGoOneLevelDeeper) {
    g_lTraceLevel = 2;
    EXPECT_EQ(forwarder.Trace(11, 22, 4, 1, nullptr), S_OK);
    EXPECT_EQ(host.count(), 0u) << "level 1 shares no bit with mask 2";
    velcom::Bstr text(u"from below");
    EXPECT_EQ(forwarder.Trace(11, 22, 4, 3, text.get()), S_OK);
    const auto calls = host.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].threadId, 11);
    EXPECT_EQ(calls[0].time, 22);
    EXPECT_EQ(calls[0].depth, 5);
    EXPECT_EQ(calls[0].text1, u"from below");

    g_lTraceLevel = 0;
    tracer->trace(1, "own reports are not filtered by the tracer");
    EXPECT_EQ(host.count(), 2u);
}

TEST_F(TracerTest, ForwardedCallbacksGoOneLevelDeeperAndReturnTheHostsResult) {
    host.callbackResult = static_cast<HRESULT>(0x80041234);
    VARIANT data;
    data.vt = VT_I4;
    data.lVal = 1;
    EXPECT_EQ(forwarder.Error(1, 2, 0, 9, nullptr, nullptr, nullptr), host.callbackResult);
    EXPECT_EQ(forwarder.Info(1, 2, 1, 9, nullptr, nullptr, nullptr), host.callbackResult);
    EXPECT_EQ(forwarder.Data(1, 2, 2, &data), host.callbackResult);
    host.progressResult = S_FALSE;
    EXPECT_EQ(forwarder.Progress(1, 2, 3, 9, nullptr, nullptr, nullptr, 0, 0), S_FALSE);
    const auto calls = host.calls();
    ASSERT_EQ(calls.size(), 4u);
    for (std::size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(calls[i].depth, LONG(i + 1));
    EXPECT_EQ(calls[2].data, &data) << "the data is passed on unchanged";

    LONG level = 0;
    host.traceLevel = 5;
    EXPECT_EQ(forwarder.get_lTraceLevel(&level), S_OK);
    EXPECT_EQ(level, 5);
    EXPECT_EQ(forwarder.put_lTraceLevel(6), S_OK);
    EXPECT_EQ(host.traceLevel, 6);
}

TEST_F(TracerTest, ChannelOutputIsALevelSevenTraceWhateverTheMask) {
    g_lTraceLevel = 0;
    const std::string longText(2000, 'x');
    asComTracer(tracer).printf("%s", longText.c_str());
    const auto calls = host.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].code, 7);
    EXPECT_EQ(calls[0].text1, u"UNK ?[?): " + std::u16string(1023, u'x'));
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
    EXPECT_EQ(other.references, 1u);
    EXPECT_EQ(failing.references, 1u);
}

TEST(TracerLifetimeTest, WithoutBackChannelReportsAreDroppedAndProgressIsTrue) {
    ITracer* tracer = ITracer::instance();
    ASSERT_NE(tracer, nullptr);
    EXPECT_TRUE(tracer->progress(1, "a", nullptr, nullptr, 0, 0));
    tracer->error(1, "dropped", nullptr, nullptr);
    VARIANT data;
    data.vt = VT_EMPTY;
    EXPECT_EQ(asComTracer(tracer).Data(1, 2, 3, &data), S_OK);
    LONG level = 42;
    EXPECT_EQ(asComTracer(tracer).get_lTraceLevel(&level), S_OK);
    EXPECT_EQ(level, 42) << "the out parameter is left alone";
    tracer->release();
}

TEST(TracerLifetimeTest, LastReleaseDestroysTheTracerAndTheNextReportMakesANewOne) {
    const LONG locksBefore = moduleLockCount();
    RecordingBackChannel host;
    RecordingChannel log;
    ITracer* tracer = ITracer::instance();
    ASSERT_NE(tracer, nullptr);
    EXPECT_EQ(moduleLockCount(), locksBefore + 1) << "a live tracer holds the module";
    asComTracer(tracer).setBackChannel(&host);
    g_pTraceChannel = &log;
    tracer->release();
    EXPECT_EQ(moduleLockCount(), locksBefore);
    EXPECT_EQ(g_pTraceChannel.load(), nullptr) << "the trace log loses its channel with the tracer";
    EXPECT_EQ(host.references, 1u) << "the host's back channel was released";

    ITracer* fresh = ITracer::instance();
    fresh->trace(7, "nobody hears this");
    fresh->release();
    EXPECT_EQ(host.count(), 0u) << "a new tracer has no back channel";
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

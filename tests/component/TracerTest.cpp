// What the host hears from the tracer and error reporting; the handlers' are in the proxy's tests.
#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "Utility/TraceLog.h"
#include "errors/ErrorReporting.h"
#include "inproc/ModuleLock.h"
#include "support/RecordingBackChannel.h"
#include "support/RecordingChannel.h"
#include "tracer/COMTracer.h"

namespace {

using Strings = std::vector<std::string>;

COMTracer& asComTracer(ITracer* tracer) { return *dynamic_cast<COMTracer*>(tracer); }

// "<kind><code>@<depth> <first text>" of each callback the host received.
Strings heard(const RecordingBackChannel& host) {
    Strings lines;
    for (const auto& call : host.calls())
        lines.push_back(call.kind + std::to_string(call.code) + "@" + std::to_string(call.depth) +
                        " " + std::string(call.text1.begin(), call.text1.end()));
    return lines;
}

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

// The mask filters only callbacks from below; channel output is a level 7 trace.
TEST_F(TracerTest, ReportsAndChannelOutputCarryThreadTimeDepthZeroAndTheirTextsWhateverTheMask) {
    g_lTraceLevel = 0;
    const auto before = static_cast<LONG>(std::time(nullptr));
    tracer->trace(3, "TSR answer");
    tracer->error(5, "one", nullptr, "gr\xC3\xBC\xC3\x9F, 0123456789");  // past 16 bytes
    tracer->info(6, nullptr, nullptr, nullptr);
    EXPECT_TRUE(tracer->progress(1, "a", "b", "c", 50, 2));
    for (const HRESULT answer : {S_FALSE, E_FAIL}) {
        host.progressResult = answer;
        EXPECT_FALSE(tracer->progress(1, "a", "b", "c", 50, 2)) << "true only for exactly S_OK";
    }
    asComTracer(tracer).printf("%s", std::string(2000, 'x').c_str());
    const auto after = static_cast<LONG>(std::time(nullptr));
    EXPECT_EQ(heard(host), (Strings{"Trace3@0 TSR answer", "Error5@0 one", "Info6@0 ",
                                    "Progress1@0 a", "Progress1@0 a", "Progress1@0 a",
                                    "Trace7@0 UNK ?[?): " + std::string(1023, 'x')}));
    const auto calls = host.calls();
    for (const auto& call : calls) {
        EXPECT_EQ(call.threadId, static_cast<LONG>(GetCurrentThreadId()));
        EXPECT_TRUE(call.time >= before && call.time <= after);
    }
    EXPECT_EQ(calls[1].text2 + u"|" + calls[1].text3, u"|grüß, 0123456789");
    EXPECT_TRUE(calls[2].text1IsNull) << "a null text becomes a null BSTR";
    EXPECT_EQ(calls[3].text2 + calls[3].text3, u"bc");
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
    EXPECT_EQ(heard(host), (Strings{"Trace3@5 from below", "Error9@6 from below",
                                    "Info8@7 from below", "Data0@8 ", "Progress6@9 from below"}));
    const auto calls = host.calls();
    for (const auto& call : calls)
        EXPECT_EQ(std::to_string(call.threadId) + "/" + std::to_string(call.time), "11/22");
    EXPECT_EQ(calls[3].data, &data) << "the data is passed on unchanged";

    LONG level = 0;
    host.traceLevel = 5;
    EXPECT_EQ(forwarder.get_lTraceLevel(&level) | forwarder.put_lTraceLevel(6), S_OK);
    EXPECT_EQ(std::to_string(level) + " then " + std::to_string(host.traceLevel), "5 then 6");
}

TEST_F(TracerTest, BackChannelSetsTheMaskUnlessItsGetterFails) {
    RecordingBackChannel other, failing;
    other.traceLevel = 2;
    asComTracer(tracer).setBackChannel(&other);
    EXPECT_EQ(g_lTraceLevel, 2);
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
    EXPECT_EQ(heard(host),
              (Strings{"Trace1@0 TSR velTesseraProxy(1243): not initialized\r\n",
                       "Trace1@0 TSR velTesseraProxy(12):\r\n",
                       "Trace3@0 TSR mtGParser(7): bad block\r\n", "Trace3@0 TSR no source\r\n",
                       "Trace7@0 TSR " + std::string(1022, 's') + " long\r\n",
                       "Trace3@0 TSR s(2): answer\r\n", "Trace7@0 TSR s(3): handler\r\n"}));
}

TEST(TracerLifetimeTest, LastReleaseDestroysTheTracerAndConcurrentUsersShareOneLosingNoReport) {
    const LONG locksBefore = moduleLockCount();
    RecordingBackChannel host;
    RecordingChannel log;
    ITracer* tracer = ITracer::instance();
    EXPECT_EQ(moduleLockCount(), locksBefore + 1) << "a live tracer holds the module";
    asComTracer(tracer).setBackChannel(&host);
    g_pTraceChannel = &log;
    tracer->release();
    EXPECT_EQ(g_pTraceChannel.load(), nullptr) << "the trace log loses its channel with the tracer";
    EXPECT_EQ(host.references, 1u) << "the host's back channel was released";

    tracer = ITracer::instance();
    tracer->trace(7, "nobody hears this");
    tracer->error(1, "dropped", nullptr, nullptr);
    EXPECT_TRUE(tracer->progress(1, "a", nullptr, nullptr, 0, 0));
    VARIANT data{};  // VT_EMPTY
    EXPECT_EQ(asComTracer(tracer).Data(1, 2, 3, &data), S_OK);
    LONG level = 42;
    EXPECT_EQ((std::pair{asComTracer(tracer).get_lTraceLevel(&level), level}), std::pair(S_OK, 42))
        << "the out parameter is left alone";
    tracer->release();
    EXPECT_EQ(host.count(), 0u);

    // Concurrent users, first with a tracer kept alive, then each creating and destroying its own.
    ITracer* keeper = ITracer::instance();
    asComTracer(keeper).setBackChannel(&host);
    std::atomic<int> missing{0};
    for (const bool kept : {true, false}) {
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&missing] {
                for (int i = 0; i < 500; ++i) {
                    ITracer* user = ITracer::instance();
                    missing += user == nullptr;
                    if (user != nullptr) user->trace(7, "report"), user->release();
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

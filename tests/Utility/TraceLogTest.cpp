#include "Utility/TraceLog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/RecordingChannel.h"

namespace {

class TraceLogTest : public ::testing::Test {
protected:
    void TearDown() override { g_pTraceChannel = nullptr; }
    RecordingChannel recorder;
};

TEST_F(TraceLogTest, ObjectsAreNumberedEvenUnheardAndLogTheirLives) {
    const int before = g_lTraceObjectCount;
    { TraceObject unheard("a"); }
    g_pTraceChannel = &recorder;
    {
        TraceObject original("orig");
        TraceObject copy(original);
        TraceObject unnamed(nullptr);
        unnamed = copy;
        EXPECT_EQ(unnamed.getName(), "orig") << "takes the name and keeps its number";
        EXPECT_EQ(unnamed.getId(), before + 4);
    }
    EXPECT_EQ(g_lTraceObjectCount, before + 4);
    const auto id = [&](int offset) { return std::to_string(before + offset); };
    const std::vector<std::string> expected{
        "---> object orig " + id(2) + " constructed\n",
        "---> object orig " + id(3) + " constructed\n",
        "---> object  " + id(4) + " constructed\n",
        "---- object  " + id(4) + " assigned orig " + id(3) + "\n",
        "<--- object orig " + id(4) + " destroyed\n",
        "<--- object orig " + id(3) + " destroyed\n",
        "<--- object orig " + id(2) + " destroyed\n"};
    EXPECT_EQ(recorder.writes, expected);
}

TEST_F(TraceLogTest, ScopesCodePathsFalseAssertsAndHitsWriteTheirLinesToTheChannelIfAny) {
    for (Channel* channel : {static_cast<Channel*>(nullptr), static_cast<Channel*>(&recorder)}) {
        g_pTraceChannel = channel;
        TraceScope scope("exchange");
        TraceCodePath("retry", 2);
        TraceCodePath(nullptr, 3);
        traceAssert(true, "a.cpp", 1, "never %d\n", 1);
        traceAssert(false, "a.cpp", 17, "count %d\n", 4);
        traceAssert(false, nullptr, 18, "no file\n");
        traceHit("b.cpp", 5, "%s", "here\n");
    }
    const std::vector<std::string> expected{"---> begin exchange\n",
                                            "===> CodePath visited:retry - 2\n",
                                            "===> CodePath visited: - 3\n",
                                            "Assert in File a.cpp at Line 17\n",
                                            "count 4\n",
                                            "no file\n",
                                            "Hit in File b.cpp at Line 5\n",
                                            "here\n",
                                            "<--- end exchange\n"};
    EXPECT_EQ(recorder.writes, expected);
}

}  // namespace

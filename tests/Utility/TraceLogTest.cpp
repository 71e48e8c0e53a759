#include "Utility/TraceLog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/RecordingChannel.h"

namespace {

class TraceLogTest : public ::testing::Test {
protected:
    void install() { g_pTraceChannel = &recorder; }
    void TearDown() override { g_pTraceChannel = nullptr; }

    RecordingChannel recorder;
};

std::string objectLine(const char* verb, const std::string& name, int id) {
    return "---> object " + name + " " + std::to_string(id) + " " + verb + "\n";
}

TEST_F(TraceLogTest, IdsAreCountedWhetherOrNotAChannelIsSet) {
    const int before = g_lTraceObjectCount;
    {
        TraceObject a("a");
        TraceObject b("b");
        TraceObject c("c");
        EXPECT_EQ(c.getId(), before + 3);
    }
    EXPECT_EQ(g_lTraceObjectCount, before + 3);
    EXPECT_TRUE(recorder.writes.empty());

    install();
    { TraceObject d("d"); }
    const std::string id = std::to_string(before + 4);
    const std::vector<std::string> expected{"---> object d " + id + " constructed\n",
                                            "<--- object d " + id + " destroyed\n"};
    EXPECT_EQ(recorder.writes, expected);
}

TEST_F(TraceLogTest, CopyIsANewObjectWithTheSourcesName) {
    install();
    TraceObject original("orig");
    TraceObject copy(original);
    EXPECT_EQ(copy.getName(), "orig");
    EXPECT_EQ(copy.getId(), original.getId() + 1);
    ASSERT_EQ(recorder.writes.size(), 2u);
    EXPECT_EQ(recorder.writes[1], objectLine("constructed", "orig", copy.getId()));
}

TEST_F(TraceLogTest, AssignmentLogsBothThenTakesTheNameAndKeepsTheId) {
    TraceObject a("a");
    TraceObject b("b");
    install();
    a = b;
    ASSERT_EQ(recorder.writes.size(), 1u);
    EXPECT_EQ(recorder.writes[0], "---- object a " + std::to_string(a.getId()) + " assigned b " +
                                      std::to_string(b.getId()) + "\n");
    EXPECT_EQ(a.getName(), "b");
    EXPECT_EQ(a.getId(), b.getId() - 1);
}

TEST_F(TraceLogTest, NullNamesAreWrittenEmpty) {
    install();
    TraceObject unnamed(nullptr);
    TraceCodePath(nullptr, 3);
    EXPECT_EQ(recorder.writes[0], objectLine("constructed", "", unnamed.getId()));
    EXPECT_EQ(recorder.writes[1], "===> CodePath visited: - 3\n");
}

TEST_F(TraceLogTest, ScopesAndCodePathsWriteTheirLines) {
    install();
    {
        TraceScope scope("exchange");
        TraceCodePath("retry", 2);
    }
    const std::vector<std::string> expected{
        "---> begin exchange\n", "===> CodePath visited:retry - 2\n", "<--- end exchange\n"};
    EXPECT_EQ(recorder.writes, expected);
}

TEST_F(TraceLogTest, AssertWritesOnlyForAFalseCondition) {
    install();
    traceAssert(true, "a.cpp", 1, "never %d\n", 1);
    EXPECT_TRUE(recorder.writes.empty());

    traceAssert(false, "a.cpp", 17, "count %d\n", 4);
    traceAssert(false, nullptr, 18, "no file\n");
    const std::vector<std::string> expected{"Assert in File a.cpp at Line 17\n", "count 4\n",
                                            "no file\n"};
    EXPECT_EQ(recorder.writes, expected);
}

TEST_F(TraceLogTest, HitWritesLocationAndMessage) {
    install();
    traceHit("b.cpp", 5, "%s", "here\n");
    EXPECT_EQ(recorder.all(), "Hit in File b.cpp at Line 5\nhere\n");
}

TEST_F(TraceLogTest, NothingIsWrittenWithoutAChannel) {
    traceAssert(false, "a.cpp", 1, "x");
    traceHit("a.cpp", 1, "x");
    { TraceScope scope("s"); }
    EXPECT_TRUE(recorder.writes.empty());
}

}  // namespace

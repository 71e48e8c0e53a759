#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "Utility/Thread.h"

namespace {

// A "window" on POSIX is a pipe an event loop reads; see <velcom/win32.h>.
class NotifierTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(pipe(ends), 0);
        fcntl(ends[1], F_SETFL, O_NONBLOCK);
    }
    void TearDown() override {
        if (ends[0] >= 0) close(ends[0]);
        if (ends[1] >= 0) close(ends[1]);
    }

    VELCOM_POSTED_MESSAGE receive() {
        VELCOM_POSTED_MESSAGE message{};
        EXPECT_TRUE(velcomReceivePostedMessage(ends[0], &message));
        return message;
    }

    int ends[2]{-1, -1};
};

TEST_F(NotifierTest, KindChoosesTheMessageInTheConstructorsOrder) {
    Notifier notifier(velcomWindowFromDescriptor(ends[1]), 100, 200, 202, 201);
    const struct {
        int kind;
        UINT message;
    } cases[] = {{7, 100}, {0, 200}, {2, 202}, {1, 201}, {-1, 100}};
    for (const auto& c : cases) {
        ASSERT_NE(notifier.notify(c.kind, 40 + c.kind), 0);
        const auto posted = receive();
        EXPECT_EQ(posted.message, c.message) << "kind " << c.kind;
        EXPECT_EQ(posted.wParam, 0u);
        EXPECT_EQ(posted.lParam, 40 + c.kind);
    }
}

TEST_F(NotifierTest, PostingToAWindowNobodyReadsFailsWithoutEndingTheProcess) {
    close(ends[0]);
    ends[0] = -1;
    Notifier notifier(velcomWindowFromDescriptor(ends[1]), 1, 2, 3, 4);
    EXPECT_EQ(notifier.notify(1, 5), 0);
}

TEST_F(NotifierTest, PostingToNoWindowFails) {
    Notifier notifier(nullptr, 1, 2, 3, 4);
    EXPECT_EQ(notifier.notify(0, 1), 0);
}

}  // namespace

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>

#include <velcom/win32.h>

namespace {

TEST(PostMessageTest, MessagesArriveWholeAndInOrder) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    HWND window = velcomWindowFromDescriptor(ends[1]);
    for (UINT i = 0; i < 50; ++i)
        ASSERT_TRUE(PostMessageA(window, 0x400 + i, i, -static_cast<LPARAM>(i)));
    for (UINT i = 0; i < 50; ++i) {
        VELCOM_POSTED_MESSAGE message{};
        ASSERT_TRUE(velcomReceivePostedMessage(ends[0], &message));
        EXPECT_EQ(message.message, 0x400 + i);
        EXPECT_EQ(message.wParam, i);
        EXPECT_EQ(message.lParam, -static_cast<LPARAM>(i));
    }
    close(ends[0]);
    close(ends[1]);
}

TEST(PostMessageTest, FullQueueFailsInsteadOfBlocking) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    fcntl(ends[1], F_SETFL, O_NONBLOCK);
    HWND window = velcomWindowFromDescriptor(ends[1]);
    int posted = 0;
    while (PostMessageA(window, 1, 2, 3) && posted < 1000000) ++posted;
    EXPECT_GT(posted, 0);
    EXPECT_LT(posted, 1000000);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EAGAIN));
    close(ends[0]);
    close(ends[1]);
}

TEST(PostMessageTest, DescriptorZeroIsAWindowAndNegativeOnesAreNone) {
    EXPECT_NE(velcomWindowFromDescriptor(0), nullptr);
    EXPECT_EQ(velcomWindowFromDescriptor(-1), nullptr);
}

TEST(PostMessageTest, ReceivingFromAClosedPipeFails) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[1]);
    VELCOM_POSTED_MESSAGE message{};
    EXPECT_FALSE(velcomReceivePostedMessage(ends[0], &message));
    EXPECT_FALSE(velcomReceivePostedMessage(ends[0], nullptr));
    close(ends[0]);
}

}  // namespace

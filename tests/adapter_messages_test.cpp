// The message seam: the sink that a program or test installs sees every
// message; without one, messages go to stderr.
#include "MessageRecorder.h"

#include <gtest/gtest.h>

namespace {

using quillon::Message;
using quillon::MessageIcon;

TEST(MessageSeam, InstalledSinkSeesMessagesAndTheOldOneComesBack)
{
    const Message first{"ERR_LOADCOMDLL", "CHR_ERROR", MessageIcon::Error};
    const Message second{"Finish Saving Log.", "Complete!", MessageIcon::Information};
    testsupport::MessageRecorder outer;
    {
        testsupport::MessageRecorder inner;
        quillon::show_message(first);
        EXPECT_EQ(inner.shown(), std::vector<Message>{first});
    }
    quillon::show_message(second);
    EXPECT_EQ(outer.shown(), std::vector<Message>{second});
}

TEST(MessageSeam, EmptySinkRestoresTheDefaultOnStderr)
{
    int seen = 0;
    quillon::set_message_sink([&seen](const Message&) { ++seen; });
    const auto replaced = quillon::set_message_sink({});
    ASSERT_TRUE(replaced);
    replaced(Message{});
    EXPECT_EQ(seen, 1);

    ::testing::internal::CaptureStderr();
    quillon::show_message({"Invalid CID", "Error", MessageIcon::Error});
    quillon::show_message({"SetTimeout2", "", MessageIcon::Plain});
    const std::string written = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(written.find("Error: Invalid CID"), std::string::npos);
    EXPECT_NE(written.find("SetTimeout2"), std::string::npos);
    EXPECT_EQ(seen, 1);
}

}  // namespace

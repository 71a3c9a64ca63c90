// A slave written from the mailbox contract alone, without the kit, knows
// nothing of the wake-up event that the library makes beside its mailbox: it
// looks at the state byte on its own, and is served all the same.
#include <windows.h>

#include <string>
#include <vector>

#include "recorded_channel_fixture.h"
#include "zolt_protocol.h"

namespace zolt_test {
namespace {

using SlaveWithoutTheKit = RecordedChannelTest;

TEST_F(SlaveWithoutTheKit, IgnoresTheWakeEventAndStillGetsItsCommandsAndNotifications) {
    const std::string path = openSlaveFrom(6, "IndependentSlave");
    char wakeName[ZOLT_CLAIM_NAME_CAPACITY];
    ASSERT_TRUE(zolt_wake_name(path.c_str(), kSeparator, wakeName));
    HANDLE wake = ::OpenEventA(SYNCHRONIZE, FALSE, wakeName);
    EXPECT_NE(wake, nullptr) << "the library made no wake-up event";
    if (wake != nullptr) ::CloseHandle(wake);

    for (const std::string command : {"first", "second", "third"}) {
        ASSERT_EQ(write(6, command), ZOLT_OK);
        EXPECT_EQ(reply(6), "plain:" + command);
    }
    ASSERT_EQ(enable(6), ZOLT_OK);
    ASSERT_EQ(write(6, "notify>unprompted"), ZOLT_OK);
    ASSERT_TRUE(recorderOf(6).waitForCalls(1));
    EXPECT_EQ(recorderOf(6).texts(), std::vector<std::string>{"unprompted"});
    EXPECT_EQ(api.close(6), ZOLT_OK);
    EXPECT_EQ(reply(6), "Bye");
}

}  // namespace
}  // namespace zolt_test

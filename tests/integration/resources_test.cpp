// A long-running host must not collect descriptors, handles, threads,
// mappings or zombies.
#include <chrono>
#include <string>
#include <thread>

#include "channel_fixture.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include "process_probe.h"
#endif

namespace zolt_test {
namespace {

using Resources = ChannelTest;
using namespace std::chrono_literals;

#if defined(_WIN32)

int handlesOfThisProcess() {
    DWORD handles = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &handles);
    return static_cast<int>(handles);
}

TEST_F(Resources, OpenCloseCyclesLeaveTheHandleCountAsItWas) {
    const std::string slave = slaves.newSlave();
    auto cycle = [&] {
        ASSERT_EQ(api.open(0, slave.c_str()), ZOLT_OK);
        ASSERT_EQ(api.close(0), ZOLT_OK);
    };
    cycle();
    const int handles = handlesOfThisProcess();
    // Starting processes is slow under Wine; a hundred cycles show any growth.
    for (int i = 0; i < 100; ++i) {
        cycle();
        if (HasFatalFailure()) return;
    }
    EXPECT_EQ(handlesOfThisProcess(), handles);
}

#else

TEST_F(Resources, AThousandOpenCloseCyclesLeaveDescriptorsThreadsMappingsAndChildrenAsTheyWere) {
    const std::string slave = slaves.newSlave();
    auto cycle = [&] {
        ASSERT_EQ(api.open(0, slave.c_str()), ZOLT_OK);
        ASSERT_EQ(api.close(0), ZOLT_OK);
    };
    // One cycle first, so the channel holds a slave handle in both counts.
    cycle();
    std::this_thread::sleep_for(100ms);
    const int descriptors = entriesIn("/proc/self/fd");
    const int threads = entriesIn("/proc/self/task");
    const int regions = mappedRegions();
    const int zombies = zombieChildren();

    for (int i = 0; i < 1000; ++i) {
        cycle();
        if (HasFatalFailure()) return;
    }
    std::this_thread::sleep_for(100ms);
    cycle();  // reaps the slaves that ended meanwhile

    EXPECT_EQ(entriesIn("/proc/self/fd"), descriptors);
    EXPECT_EQ(entriesIn("/proc/self/task"), threads);
    // A mailbox view kept per cycle would add a thousand; the allocator, a
    // sanitizer's above all, maps regions of its own as it grows (a dozen
    // seen under AddressSanitizer), so only a count far below that is taken.
    EXPECT_LE(mappedRegions(), regions + 64);
    // Only the latest slave may wait to be reaped, as its predecessor did.
    EXPECT_LE(zombieChildren(), zombies);
}

#endif

}  // namespace
}  // namespace zolt_test

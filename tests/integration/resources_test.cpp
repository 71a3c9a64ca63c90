// A long-running host must not collect descriptors, handles, threads or
// zombies.
#include <chrono>
#include <string>
#include <thread>

#include "channel_fixture.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dirent.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
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

int entriesIn(const char* folder) {
    DIR* directory = ::opendir(folder);
    int count = 0;
    while (const dirent* entry = ::readdir(directory)) {
        if (entry->d_name[0] != '.') ++count;
    }
    ::closedir(directory);
    return count;
}

// Ended children that nobody has reaped.
int zombieChildren() {
    int zombies = 0;
    DIR* proc = ::opendir("/proc");
    while (const dirent* entry = ::readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        std::ifstream statFile(std::string("/proc/") + entry->d_name + "/stat");
        std::string line;
        if (!std::getline(statFile, line)) continue;
        // "pid (name) state ppid ...": the name may hold spaces, so start after ')'.
        std::istringstream rest(line.substr(line.rfind(')') + 1));
        char state = 0;
        long parent = 0;
        rest >> state >> parent;
        if (parent == ::getpid() && state == 'Z') ++zombies;
    }
    ::closedir(proc);
    return zombies;
}

TEST_F(Resources, AThousandOpenCloseCyclesLeaveDescriptorsThreadsAndChildrenAsTheyWere) {
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
    const int zombies = zombieChildren();

    for (int i = 0; i < 1000; ++i) {
        cycle();
        if (HasFatalFailure()) return;
    }
    std::this_thread::sleep_for(100ms);
    cycle();  // reaps the slaves that ended meanwhile

    EXPECT_EQ(entriesIn("/proc/self/fd"), descriptors);
    EXPECT_EQ(entriesIn("/proc/self/task"), threads);
    // Only the latest slave may wait to be reaped, as its predecessor did.
    EXPECT_LE(zombieChildren(), zombies);
}

#endif

}  // namespace
}  // namespace zolt_test

// A long-running host must not collect descriptors, threads or zombies.
#include <dirent.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "channel_fixture.h"

namespace zolt_test {
namespace {

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

using Resources = ChannelTest;

TEST_F(Resources, AThousandOpenCloseCyclesLeaveDescriptorsThreadsAndChildrenAsTheyWere) {
    const std::string slave = slaves.newSlave();
    auto cycle = [&] {
        ASSERT_EQ(api.open(0, slave.c_str()), ZOLT_OK);
        ASSERT_EQ(api.close(0), ZOLT_OK);
    };
    // One cycle first, so the channel holds a slave handle in both counts.
    cycle();
    ::usleep(100'000);
    const int descriptors = entriesIn("/proc/self/fd");
    const int threads = entriesIn("/proc/self/task");
    const int zombies = zombieChildren();

    for (int i = 0; i < 1000; ++i) {
        cycle();
        if (HasFatalFailure()) return;
    }
    ::usleep(100'000);
    cycle();  // reaps the slaves that ended meanwhile

    EXPECT_EQ(entriesIn("/proc/self/fd"), descriptors);
    EXPECT_EQ(entriesIn("/proc/self/task"), threads);
    // Only the latest slave may wait to be reaped, as its predecessor did.
    EXPECT_LE(zombieChildren(), zombies);
}

}  // namespace
}  // namespace zolt_test

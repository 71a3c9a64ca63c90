// Shared set-up: the loaded library, a folder of uniquely named slaves, and
// channels that are closed again whatever the test did.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

#include "loaded_library.h"
#include "slave_folder.h"

namespace zolt_test {

class ChannelTest : public ::testing::Test {
protected:
    ~ChannelTest() override {
        for (const int channel : opened_) api.close(static_cast<std::int8_t>(channel));
    }

    // Opens `channel` to a new test slave, or to a copy of another program
    // of a build, and expects success.
    std::string openSlave(int channel) { return openSlaveFrom(channel, "TestSlave"); }
    std::string openSlaveFrom(int channel, const std::string& programName,
                              const std::string& buildFolder = binaryFolder()) {
        const std::string path = slaves.newSlaveFrom(programName, buildFolder);
        EXPECT_EQ(api.open(static_cast<std::int8_t>(channel), path.c_str()), ZOLT_OK);
        opened_.insert(channel);
        return path;
    }

    std::int8_t write(int channel, const std::string& command) {
        return api.write(static_cast<std::int8_t>(channel), command.c_str());
    }
    std::string reply(int channel) { return api.read(static_cast<std::int8_t>(channel)); }

    const ZoltFunctions& api = zolt();
    SlaveFolder slaves;

private:
    std::set<int> opened_;
};

}  // namespace zolt_test

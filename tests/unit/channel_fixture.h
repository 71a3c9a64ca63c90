// A started library on the fake, with a scripted slave behind "Brivex".
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "fake_os.h"
#include "library.h"

class ChannelTest : public ::testing::Test {
protected:
    static constexpr const char* kPath = "slaves/Brivex.exe";
    static constexpr const char* kMailbox = "BrivexSM";

    void SetUp() override { library.startUp(); }

    void openChannel(std::int8_t channel = 0) { ASSERT_EQ(library.open(channel, kPath), ZOLT_OK); }

    // Leaves `reply` as the channel's latest reply.
    void exchangeOnce(std::int8_t channel, const std::string& reply) {
        slave.answer(reply);
        ASSERT_EQ(library.write(channel, "Hello"), ZOLT_OK);
        ASSERT_STREQ(library.read(channel), reply.c_str());
    }

    FakeOs::Process& slaveProcess(std::int8_t channel = 0) { return os.process(library.record(channel).process); }
    FakeOs::Mailbox& mailbox() { return os.mailbox(kMailbox); }

    FakeOs os;
    zolt::Library library{os, '/'};
    ScriptedSlave slave{os, kMailbox};
};

// The demo slave's answers, through the real library.
#include <filesystem>
#include <string>
#include <vector>

#include "channel_fixture.h"

namespace zolt_test {
namespace {

class DemoSlave : public ChannelTest {
protected:
    // The slave reads files from the host's current folder.
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(slaves.path());
        std::filesystem::copy_file(binaryFolder() + kSeparator + "Kwarne.cfg", "Kwarne.cfg");
        const std::string slave = slaves.newSlaveFrom("Brivex");
        ASSERT_EQ(api.open(0, slave.c_str()), ZOLT_OK);
    }
    void TearDown() override {
        EXPECT_EQ(api.close(0), ZOLT_OK);
        EXPECT_EQ(reply(0), "Brivex closed");
        std::filesystem::current_path(previous_);
    }

private:
    std::filesystem::path previous_;
};

TEST_F(DemoSlave, LoadsItsConfigurationFromTheHostsFolder) {
    ASSERT_EQ(write(0, "LoadConfiguration>Kwarne.cfg"), ZOLT_OK);
    EXPECT_EQ(reply(0), "Configuration Kwarne.cfg loaded: 4 settings");
    ASSERT_EQ(write(0, "LoadConfiguration>Missing.cfg"), ZOLT_OK);
    EXPECT_EQ(reply(0).rfind("Error: cannot read Missing.cfg", 0), 0u) << reply(0);
    ASSERT_EQ(write(0, "LoadConfiguration>../Kwarne.cfg"), ZOLT_OK);
    EXPECT_EQ(reply(0).rfind("Error: ", 0), 0u) << reply(0);
}

// Whatever the file: the names are refused before anything is read.
TEST_F(DemoSlave, RefusesConfigurationNamesThatLeaveTheHostsFolder) {
    std::vector<std::string> outside{"../Kwarne.cfg", "/etc/Kwarne.cfg", "sub/Kwarne.cfg"};
#if defined(_WIN32)
    // Windows takes either slash, and a drive with or without a folder.
    outside.insert(outside.end(), {"..\\Kwarne.cfg", "C:\\Kwarne.cfg", "C:Kwarne.cfg", "\\Kwarne.cfg"});
#endif
    for (const std::string& name : outside) {
        ASSERT_EQ(write(0, ("LoadConfiguration>" + name).c_str()), ZOLT_OK);
        EXPECT_EQ(reply(0), "Error: configuration file name must not name a folder: " + name);
    }
}

TEST_F(DemoSlave, AcceptsAFrameAndTellsAboutItOnceAsked) {
    ASSERT_EQ(write(0, "SendF>Frame ASK"), ZOLT_OK);
    EXPECT_EQ(reply(0), "Frame accepted: Frame ASK");
    ASSERT_EQ(write(0, "Ask"), ZOLT_OK);
    EXPECT_EQ(reply(0), "Frame sent: Frame ASK");
    ASSERT_EQ(write(0, "Ask"), ZOLT_OK);
    EXPECT_EQ(reply(0), "(nothing)");
}

TEST_F(DemoSlave, NamesACommandItDoesNotKnow) {
    ASSERT_EQ(write(0, "sendf>x"), ZOLT_OK);
    EXPECT_EQ(reply(0), "Error: unknown command: sendf>x");
}

}  // namespace
}  // namespace zolt_test

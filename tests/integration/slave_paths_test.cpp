// Slaves at paths that a system hands over awkwardly: spaces, several
// periods, mixed case, relative paths, and on Windows the unquoted command
// line, forward slashes and no command line at all. The kit must still find
// the objects that the library made from the host's path.
#include <algorithm>
#include <filesystem>
#include <string>

#include "channel_fixture.h"

namespace zolt_test {
namespace {

namespace fs = std::filesystem;

// A period in a folder's name is no extension.
constexpr const char* kFolderWithSpace = "My Slaves.v1";

class SlavePaths : public ChannelTest {
protected:
    // The host's current folder is the slaves' folder: the demo slave reads
    // its configuration from its own current folder, which it inherits.
    void SetUp() override {
        previous_ = fs::current_path();
        fs::current_path(slaves.path());
        fs::copy_file(binaryFolder() + kSeparator + "Kwarne.cfg", "Kwarne.cfg");
    }
    void TearDown() override { fs::current_path(previous_); }

    // A new slave's path in the folder with a space, relative to this one.
    static std::string relativePathWithSpace(const std::string& fileName) {
        return std::string(kFolderWithSpace) + kSeparator + fileName;
    }
    std::string pathWithSpace(const std::string& fileName) const {
        return slaves.pathOf(relativePathWithSpace(fileName));
    }

    // Kwarne_Brivex's two commands, answered with status 0, then the close.
    void expectDriversCommandsServed(int channel) {
        EXPECT_EQ(write(channel, "LoadConfiguration>Kwarne.cfg"), ZOLT_OK);
        EXPECT_EQ(reply(channel), "Configuration Kwarne.cfg loaded: 4 settings");
        EXPECT_EQ(write(channel, "SendF>Frame ASK"), ZOLT_OK);
        EXPECT_EQ(reply(channel), "Frame accepted: Frame ASK");
        EXPECT_EQ(api.close(static_cast<std::int8_t>(channel)), ZOLT_OK);
        EXPECT_EQ(reply(channel), "Brivex closed");
    }

private:
    fs::path previous_;
};

TEST_F(SlavePaths, AKitSlaveWithSpacesPeriodsAndMixedCaseServes) {
    const std::string extension = kProgramSuffix[0] != '\0' ? ".EXE" : "";
    const std::string slave = pathWithSpace("Kit " + SlaveFolder::uniqueName() + ".V2" + extension);
    SlaveFolder::placeProgram("MinimalSlave", slave);
    ASSERT_EQ(api.open(0, slave.c_str()), ZOLT_OK);
    EXPECT_EQ(write(0, "space"), ZOLT_OK);
    EXPECT_EQ(reply(0), "Hello, space");
    EXPECT_EQ(api.close(0), ZOLT_OK);
    EXPECT_EQ(reply(0), "Bye");
}

TEST_F(SlavePaths, TheDemoSlaveAtARelativePathWithASpaceServesTheDriversCommands) {
    const std::string slave = relativePathWithSpace(SlaveFolder::uniqueName() + kProgramSuffix);
    SlaveFolder::placeProgram("Brivex", slaves.pathOf(slave));
    ASSERT_EQ(api.open(1, slave.c_str()), ZOLT_OK);
    expectDriversCommandsServed(1);
}

#if defined(_WIN32)
// Real Windows, unlike Wine, hands a slave that the library started its
// path as its command line unquoted. Here the library starts a stand-in of
// the same stem that never serves (the test slave told to wait a minute
// before it opens anything), and the test starts the real slave as Windows
// would have.
class WindowsStart : public SlavePaths {
protected:
    // Opens `channel` to the stand-in: `slavePath` with another extension.
    void openStandIn(int channel, const std::string& slavePath) {
        const std::string standIn = slavePath.substr(0, slavePath.rfind('.')) + ".standin";
        SlaveFolder::placeProgram("TestSlave", standIn);
        setEnvironment("ZOLT_TEST_SLAVE_START_DELAY_MS", "60000");
        const std::int8_t opened = api.open(static_cast<std::int8_t>(channel), standIn.c_str());
        clearEnvironment("ZOLT_TEST_SLAVE_START_DELAY_MS");
        ASSERT_EQ(opened, ZOLT_OK);
    }

    // The kit's example slave, started with `commandLine`, answers through
    // the library and ends after Close.
    void expectKitSlaveServes(const std::string& slave, const std::string& commandLine) {
        SlaveFolder::placeProgram("MinimalSlave", slave);
        ASSERT_NO_FATAL_FAILURE(openStandIn(2, slave));
        StartedProgram started(slave, commandLine, slaves.path());
        ASSERT_TRUE(started.started());
        EXPECT_EQ(write(2, "started"), ZOLT_OK);
        EXPECT_EQ(reply(2), "Hello, started");
        EXPECT_EQ(api.close(2), ZOLT_OK);
        EXPECT_EQ(reply(2), "Bye");
        EXPECT_EQ(started.exitCode(10000), 0);
    }
};

TEST_F(WindowsStart, AKitSlaveFindsItsPathInTheUnquotedCommandLine) {
    const std::string slave = pathWithSpace(SlaveFolder::uniqueName() + kProgramSuffix);
    expectKitSlaveServes(slave, slave);
}

TEST_F(WindowsStart, ForwardSlashesSeparateNoFolderOnEitherSide) {
    // The stem is the whole path up to its last period, for both sides.
    std::string slave = pathWithSpace(SlaveFolder::uniqueName() + kProgramSuffix);
    std::replace(slave.begin(), slave.end(), '\\', '/');
    expectKitSlaveServes(slave, slave);
}

TEST_F(WindowsStart, WithNoCommandLineAtAllTheModulesFileNameStandsIn) {
    expectKitSlaveServes(pathWithSpace(SlaveFolder::uniqueName() + kProgramSuffix), "");
}

TEST_F(WindowsStart, TheDemoSlaveServesTheDriversCommandsFromTheUnquotedCommandLine) {
    const std::string slave = pathWithSpace(SlaveFolder::uniqueName() + kProgramSuffix);
    SlaveFolder::placeProgram("Brivex", slave);
    ASSERT_NO_FATAL_FAILURE(openStandIn(3, slave));
    StartedProgram started(slave, slave, slaves.path());
    ASSERT_TRUE(started.started());
    expectDriversCommandsServed(3);
    EXPECT_EQ(started.exitCode(10000), 0);
}
#endif

}  // namespace
}  // namespace zolt_test

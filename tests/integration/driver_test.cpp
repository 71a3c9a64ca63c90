// Kwarne_Brivex as a user runs it, compared byte for byte. All cases share the
// object names of the "Brivex" stem, and on Windows the slave's fixed place,
// so they never run at the same time.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "slave_folder.h"
#include "test_platform.h"

namespace zolt_test {
namespace {

namespace fs = std::filesystem;

class Driver : public ::testing::Test {
protected:
    void SetUp() override { removeSlave(); }
    void TearDown() override { removeSlave(); }

    std::string driver() const { return programInBuild("Kwarne_Brivex"); }

    // A copy of the driver alone in the folder: beside it, no library.
    std::string lonelyDriver() const {
        const std::string copy = folder.pathOf(std::string("Kwarne_Brivex") + kProgramSuffix);
        fs::copy_file(driver(), copy);
        return copy;
    }

    // Where the driver looks for its slave.
    fs::path slaveLocation() const {
#if defined(_WIN32)
        return "C:\\Datas\\Morva\\Brivex\\Brivex.exe";
#else
        return folder.pathOf("Datas/Morva/Brivex/Brivex");
#endif
    }

    void placeSlave() const {
        fs::create_directories(slaveLocation().parent_path());
        fs::copy_file(programInBuild("Brivex"), slaveLocation());
        fs::copy_file(binaryFolder() + kSeparator + "Kwarne.cfg", folder.pathOf("Kwarne.cfg"));
    }

    void removeSlave() const {
        std::error_code ignored;
        fs::remove(slaveLocation(), ignored);
    }

    SlaveFolder folder;
};

TEST_F(Driver, WithoutTheLibraryItSaysSoAndNothingElse) {
    const ProgramRun run = runProgram(lonelyDriver(), folder.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "Error: no DLL\r\n");
}

TEST_F(Driver, WithALibraryLackingAFunctionItNamesTheFunction) {
    const std::string program = lonelyDriver();
    fs::copy_file(binaryFolder() + kSeparator + ".." + kSeparator + "stub" + kSeparator + kLibraryFile,
                  folder.pathOf(kLibraryFile));
    const ProgramRun run = runProgram(program, folder.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "Error: the library has no function ZoltMasterWrite\r\n");
}

TEST_F(Driver, WithoutTheSlaveEveryCallReportsTheChannelUnusable) {
    const ProgramRun run = runProgram(driver(), folder.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output,
              "Load Brivex, return code=3\r\n"
              "Load configuration, return code=3\r\n"
              "Send frame, return code=3\r\n"
              "End\r\n");
}

TEST_F(Driver, WithTheDemoSlaveEveryCallSucceeds) {
    placeSlave();
    const ProgramRun run = runProgram(driver(), folder.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output,
              "Load Brivex, return code=0\r\n"
              "Load configuration, return code=0\r\n"
              "Send frame, return code=0\r\n"
              "End\r\n");
}

}  // namespace
}  // namespace zolt_test

// Kwarne_Brivex as a user runs it, compared byte for byte.
#include <filesystem>
#include <string>

#include "driver_fixture.h"

namespace zolt_test {
namespace {

namespace fs = std::filesystem;

class Driver : public DriverTest {
protected:
    // A copy of the driver alone in the folder: beside it, no library.
    std::string lonelyDriver() const {
        const std::string copy = folder.pathOf(std::string("Kwarne_Brivex") + kProgramSuffix);
        fs::copy_file(driver(), copy);
        return copy;
    }
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
    EXPECT_EQ(run.output, kDriverServed);
}

}  // namespace
}  // namespace zolt_test

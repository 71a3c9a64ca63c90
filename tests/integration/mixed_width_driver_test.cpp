// Kwarne_Brivex of this program's width with a slave of the other width at
// its fixed place: the demo slave, and one written without the kit.
#include <string>

#include "driver_fixture.h"
#include "other_width_build.h"

namespace zolt_test {
namespace {

class MixedWidthDriver : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        std::string why;
        other_ = otherWidthBuild(why);
        ASSERT_FALSE(other_.empty()) << why;
    }

    // Runs the driver against a slave of the other width.
    ProgramRun runWith(const std::string& programName) {
        placeSlave(programName, other_);
        EXPECT_EQ(programWidth(slaveLocation().string()), kOtherWidth);
        return runProgram(driver(), folder.path());
    }

private:
    std::string other_;
};

TEST_F(MixedWidthDriver, TheDemoSlaveServesEveryCall) {
    const ProgramRun run = runWith("Brivex");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, kDriverServed);
}

TEST_F(MixedWidthDriver, AnIndependentSlaveServesEveryCall) {
    const ProgramRun run = runWith("IndependentSlave");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, kDriverServed);
}

}  // namespace
}  // namespace zolt_test

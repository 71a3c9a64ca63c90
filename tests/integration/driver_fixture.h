// Kwarne_Brivex as a user runs it: a folder to run it in, and its slave put
// where it looks for it. Every case shares the object names of the "Brivex"
// stem, and on Windows the slave's fixed place, so none run at the same time.
#pragma once

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "slave_folder.h"
#include "test_platform.h"

namespace zolt_test {

// What the driver prints when its slave serves every command.
inline constexpr const char* kDriverServed =
    "Load Brivex, return code=0\r\n"
    "Load configuration, return code=0\r\n"
    "Send frame, return code=0\r\n"
    "End\r\n";

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override { removeSlave(); }
    void TearDown() override { removeSlave(); }

    std::string driver() const { return programInBuild("Kwarne_Brivex"); }

    // Where the driver looks for its slave.
    std::filesystem::path slaveLocation() const {
#if defined(_WIN32)
        return "C:\\Datas\\Morva\\Brivex\\Brivex.exe";
#else
        return folder.pathOf("Datas/Morva/Brivex/Brivex");
#endif
    }

    // A program of a build (the demo slave of this one unless told
    // otherwise) as the driver's slave, and the configuration beside the
    // driver's current folder.
    void placeSlave(const std::string& programName = "Brivex", const std::string& buildFolder = binaryFolder()) const {
        std::filesystem::create_directories(slaveLocation().parent_path());
        std::filesystem::copy_file(buildFolder + kSeparator + programName + kProgramSuffix, slaveLocation());
        std::filesystem::copy_file(binaryFolder() + kSeparator + "Kwarne.cfg", folder.pathOf("Kwarne.cfg"));
    }

    void removeSlave() const {
        std::error_code ignored;
        std::filesystem::remove(slaveLocation(), ignored);
    }

    SlaveFolder folder;
};

}  // namespace zolt_test

#include "other_width_build.h"

#include <windows.h>

#include <cstdlib>
#include <filesystem>

#include "test_platform.h"

namespace zolt_test {

std::string otherWidthBuild(std::string& why) {
    const char* relative = std::getenv("ZOLT_TEST_OTHER_WIDTH_BIN");
    if (relative == nullptr || *relative == '\0') {
        why = "ZOLT_TEST_OTHER_WIDTH_BIN is not set: run these tests through ctest --preset windows64";
        return {};
    }
    const std::string folder =
        (std::filesystem::path(binaryFolder()) / relative).lexically_normal().make_preferred().string();
    const std::string slave = folder + kSeparator + "TestSlave" + kProgramSuffix;
    if (programWidth(slave) != kOtherWidth) {
        why = slave + " is no " + std::to_string(kOtherWidth) + "-bit program: build that width first";
        return {};
    }
    return folder;
}

int programWidth(const std::string& path) {
    DWORD type = 0;
    if (!::GetBinaryTypeA(path.c_str(), &type)) return 0;
    if (type == SCS_32BIT_BINARY) return 32;
    if (type == SCS_64BIT_BINARY) return 64;
    return 0;
}

}  // namespace zolt_test

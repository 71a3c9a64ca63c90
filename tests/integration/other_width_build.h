// Windows only: the build of the other width, whose slaves and hosts meet
// this program's on one channel. Both widths run in a 64-bit prefix.
#pragma once

#include <string>

namespace zolt_test {

// This process's own width in bits, and the other one.
inline constexpr int kOwnWidth = static_cast<int>(sizeof(void*) * 8);
inline constexpr int kOtherWidth = kOwnWidth == 64 ? 32 : 64;

// The other width's bin folder, named by ZOLT_TEST_OTHER_WIDTH_BIN relative
// to this program's folder. Empty, with the reason in `why`, when the
// variable is not set or the folder holds no slaves of the other width.
std::string otherWidthBuild(std::string& why);

// The width of a program file, 32 or 64; 0 if it is no Windows program.
int programWidth(const std::string& path);

}  // namespace zolt_test

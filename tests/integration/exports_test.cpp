// The library's dynamic symbol table holds the five functions and nothing else.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "loaded_library.h"

namespace zolt_test {
namespace {

TEST(Exports, ExactlyTheFiveFunctions) {
    const std::string command = "nm -D --defined-only " + binaryFolder() + "/libZolt.so";
    FILE* listing = ::popen(command.c_str(), "r");
    ASSERT_NE(listing, nullptr);
    std::set<std::string> exported;
    char line[512];
    while (std::fgets(line, sizeof line, listing) != nullptr) {
        char type = 0;
        char name[400] = {};
        if (std::sscanf(line, "%*s %c %399s", &type, name) == 2) exported.insert(name);
    }
    ASSERT_EQ(::pclose(listing), 0);
    const std::set<std::string> expected = {"ZoltMasterOpen", "ZoltMasterWrite", "ZoltMasterRead", "ZoltMasterEvent",
                                            "ZoltMasterClose"};
    EXPECT_EQ(exported, expected);
}

}  // namespace
}  // namespace zolt_test

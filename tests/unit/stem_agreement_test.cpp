// The library and the slave kit must find one stem in one path: the library
// in the path the host gave ZoltMasterOpen, the kit in what the system hands
// the slave it started (argv[0] on Linux, the command line on Windows). The
// same paths go to both; they give the same object names, or both refuse.
#include <gtest/gtest.h>

#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "library.h"
#include "object_names.h"
#include "zolt_slave.h"

namespace {

constexpr char kSeparator = zolt::kPathSeparator;
constexpr char kOtherSlash = kSeparator == '/' ? '\\' : '/';

struct Names {
    bool named = false;
    std::string mailbox;
    std::string event;
    bool operator==(const Names&) const = default;
    friend void PrintTo(const Names& names, std::ostream* out) {
        if (names.named) *out << names.mailbox << " and " << names.event;
        else *out << "refused";
    }
};

// The names the library gives the objects, as the kit looks them up (on
// Linux with shm_open's leading '/').
Names libraryNames(const std::string& path) {
    zolt::ObjectNames names{};
    if (!zolt::deriveObjectNames(path.c_str(), kSeparator, names)) return {};
#if defined(_WIN32)
    return {true, names.mailbox, names.event};
#else
    return {true, std::string("/") + names.mailbox, "/" + std::string(names.event)};
#endif
}

// The names the kit finds from the program path it recovered, or refused.
Names kitNames(const char* startedPath) {
    char mailbox[ZOLT_SLAVE_NAME_CAPACITY];
    char event[ZOLT_SLAVE_NAME_CAPACITY];
    if (startedPath == nullptr || !zolt_slave_object_names(startedPath, mailbox, event)) return {};
    return {true, mailbox, event};
}

// What a slave started by the library with `path` sees, in each way the
// system may hand it over.
struct StartedAs {
    std::string how;
    std::string given;
};

std::vector<StartedAs> waysToStart(const std::string& path) {
#if defined(_WIN32)
    // The library passes no command line: Windows makes the path the
    // command line as it is, Wine quotes it.
    return {{"Windows' unquoted command line", path}, {"Wine's quoted command line", "\"" + path + "\""}};
#else
    return {{"argv[0]", path}};
#endif
}

Names kitNamesWhenStartedAs(const StartedAs& start) {
    char path[ZOLT_SLAVE_PATH_CAPACITY];
#if defined(_WIN32)
    return kitNames(zolt_slave_path_in_command_line(start.given.c_str(), path) ? path : nullptr);
#else
    return kitNames(zolt_slave_started_path(start.given.c_str(), path));
#endif
}

std::string join(std::initializer_list<std::string> parts, char separator) {
    std::string path;
    for (const std::string& part : parts) path += (path.empty() ? "" : std::string(1, separator)) + part;
    return path;
}

std::vector<std::string> samplePaths() {
    const char s = kSeparator;
    const std::string stem97(97, 'k');
    return {
        join({"Brivex"}, s),
        join({"dir", "Brivex.exe"}, s),
        join({"C:", "My Slaves", "Bri vex.exe"}, s),
        join({"My Slaves", "Brivex"}, s),
        join({"dir.v2", "Brivex.v2.beta.exe"}, s),
        join({"dir", ".hidden"}, s),
        join({"dir", "."}, s),
        join({"dir", ".."}, s),
        join({"Dir", "BriVex.EXE"}, s),
        join({"C:", "Slaves", "Brivex.exe"}, kOtherSlash),
        join({"dir", "sub"}, kOtherSlash) + s + "Brivex.exe",
        join({"dir", "Brivex.exe"}, s) + kOtherSlash + "x",
        join({"dir", "Brivex"}, kOtherSlash) + kOtherSlash,
        stem97 + ".x",
        join({"d", stem97}, s),
        stem97 + ".exe",
        std::string(ZOLT_MAX_SLAVE_PATH_LENGTH, 'x'),
        std::string(ZOLT_MAX_SLAVE_PATH_LENGTH + 1, 'x'),
        join({"dir", "Brivex.exe"}, s).append(ZOLT_MAX_SLAVE_PATH_LENGTH, 'x'),
        "",
        join({"dir", ""}, s),
        std::string(1, s),
        " ",
    };
}

TEST(StemAgreement, TheKitFindsTheLibrarysNamesOrBothRefuse) {
    for (const std::string& path : samplePaths()) {
        const Names expected = libraryNames(path);
        for (const StartedAs& start : waysToStart(path))
            EXPECT_EQ(kitNamesWhenStartedAs(start), expected) << "\"" << path << "\" through " << start.how;
    }
}

TEST(StemAgreement, AWindowsCommandLineGivesItsQuotedProgramOrTheWholeLine) {
    char path[ZOLT_SLAVE_PATH_CAPACITY];
    ASSERT_TRUE(zolt_slave_path_in_command_line("C:\\My Slaves\\Brivex.exe", path));
    EXPECT_STREQ(path, "C:\\My Slaves\\Brivex.exe");
    // Launchers that quote the program may pass arguments after it.
    ASSERT_TRUE(zolt_slave_path_in_command_line("\"C:\\My Slaves\\Brivex.exe\" --verbose", path));
    EXPECT_STREQ(path, "C:\\My Slaves\\Brivex.exe");
    ASSERT_TRUE(zolt_slave_path_in_command_line("\"C:\\My Slaves\\Brivex.exe", path));
    EXPECT_STREQ(path, "C:\\My Slaves\\Brivex.exe");
    // None the library accepts: the module's file name stands in for these.
    EXPECT_FALSE(zolt_slave_path_in_command_line("", path));
    EXPECT_FALSE(zolt_slave_path_in_command_line("\"\"", path));
    EXPECT_FALSE(zolt_slave_path_in_command_line(nullptr, path));
    const std::string longest(ZOLT_MAX_SLAVE_PATH_LENGTH, 'x');
    ASSERT_TRUE(zolt_slave_path_in_command_line(("\"" + longest + "\"").c_str(), path));
    EXPECT_EQ(path, longest);
    EXPECT_FALSE(zolt_slave_path_in_command_line((longest + "x").c_str(), path));
    EXPECT_FALSE(zolt_slave_path_in_command_line(("\"" + longest + "x\"").c_str(), path));
}

}  // namespace

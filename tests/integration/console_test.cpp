// zolt-console driven from a script, as a user's shell script would: commands
// on standard input, one result line each on standard output.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include "slave_folder.h"
#include "test_platform.h"

namespace zolt_test {
namespace {

namespace fs = std::filesystem;

struct ConsoleRun {
    int exitCode = -1;
    std::vector<std::string> lines;  // standard output
    std::string errors;              // standard error
};

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

class ConsoleScript : public ::testing::Test {
protected:
    // Runs the console in the folder with `input` as its standard input.
    ConsoleRun runConsole(const std::string& arguments, const std::string& input,
                   const std::string& console = programInBuild("zolt-console")) const {
        const std::string in = folder.pathOf("input.txt");
        const std::string out = folder.pathOf("output.txt");
        const std::string err = folder.pathOf("errors.txt");
        std::ofstream(in, std::ios::binary) << input;
#if defined(_WIN32)
        // cmd.exe drops the outermost quotes.
        const std::string command = "\"cd /d " + quoted(folder.path()) + " && " + quoted(console) + " " +
                                    arguments + " < " + quoted(in) + " > " + quoted(out) + " 2> " + quoted(err) + "\"";
        const int exitCode = std::system(command.c_str());
#else
        // Only the library the console finds by itself.
        const std::string command = "cd " + quoted(folder.path()) + " && env -u LD_LIBRARY_PATH " + quoted(console) +
                                    " " + arguments + " < " + quoted(in) + " > " + quoted(out) + " 2> " + quoted(err);
        const int status = std::system(command.c_str());
        const int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
        return {exitCode, linesOf(readFile(out)), readFile(err)};
    }

    // The result lines, without notifications, which come in at their own pace.
    static std::vector<std::string> results(const ConsoleRun& run) {
        std::vector<std::string> kept;
        for (const auto& line : run.lines)
            if (line.rfind("notification: ", 0) != 0) kept.push_back(line);
        return kept;
    }

    static bool has(const std::vector<std::string>& lines, const std::string& wanted) {
        for (const auto& line : lines)
            if (line == wanted) return true;
        return false;
    }

    SlaveFolder folder;
};

TEST_F(ConsoleScript, PrintsEachStatusWithItsMeaningAndEachReplyThenClosesAtTheEndOfInput) {
    const std::string slave = folder.newSlaveFrom("Brivex");
    const ConsoleRun run =
        runConsole(quoted(slave) + " 6", "LoadConfiguration>\r\nnope\n\n//x\n" + std::string(1024, 'c') + "\nSendF>last");
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(run.errors, "");
    const std::vector<std::string> lines = results(run);
    ASSERT_EQ(lines.size(), 7u) << run.errors;
    EXPECT_EQ(lines[0], "open 0 (channel 6 open, slave started)");
    EXPECT_EQ(lines[1], "write 0 (reply received): Error: LoadConfiguration needs a file name");
    EXPECT_EQ(lines[2], "write 0 (reply received): Error: unknown command: nope");
    // "//" sends the line without its first slash.
    EXPECT_EQ(lines[3], "write 0 (reply received): Error: unknown command: /x");
    EXPECT_EQ(lines[4], "write 5 (command refused: longer than 1023 bytes)");
    // A last line without its end is still sent.
    EXPECT_EQ(lines[5].rfind("write 0 (reply received): ", 0), 0u) << lines[5];
    EXPECT_EQ(lines[6], "close 0 (reply received): Brivex closed");
}

TEST_F(ConsoleScript, ShowsNotificationsThroughTheCallbackAsTheyArrive) {
    const std::string slave = folder.newSlaveFrom("Brivex");
    const ConsoleRun run = runConsole(quoted(slave), "SendF>one\n/wait\nSendF>two\n/wait\nAsk\n/wait 0\n");
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(run.errors, "");
    ASSERT_TRUE(has(run.lines, "notification: Frame sent: one")) << testing::PrintToString(run.lines);
    ASSERT_TRUE(has(run.lines, "notification: Frame sent: two")) << testing::PrintToString(run.lines);
    // Both were taken by the poller before the host asked.
    const std::vector<std::string> lines = results(run);
    ASSERT_EQ(lines.size(), 6u) << testing::PrintToString(run.lines);
    EXPECT_EQ(lines[3], "write 0 (reply received): (nothing)");
    EXPECT_EQ(lines[4], "wait: no notification within 0 s");
    // Each notification is printed once, before the close.
    EXPECT_EQ(run.lines.size(), 8u);
    EXPECT_EQ(run.lines.back(), "close 0 (reply received): Brivex closed");
}

TEST_F(ConsoleScript, TalksToTheReadmeSlaveBuiltOnTheKit) {
    const std::string slave = folder.newSlaveFrom("MinimalSlave");
    const ConsoleRun run = runConsole(quoted(slave), "world\n/wait\n");
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_TRUE(has(run.lines, "notification: greeted")) << testing::PrintToString(run.lines);
    EXPECT_TRUE(has(run.lines, "close 0 (reply received): Bye")) << testing::PrintToString(run.lines);
}

// Not a console run: a kit slave started from the shell, with no host.
TEST_F(ConsoleScript, ASlaveRunByHandSaysThatAHostStartsIt) {
    const std::string slave = folder.newSlaveFrom("MinimalSlave");
    const ConsoleRun run = runConsole("", "", slave);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.errors.find("cannot open mailbox"), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("a host creates it, then starts this program"), std::string::npos) << run.errors;
}

TEST_F(ConsoleScript, CloseIsTheLastCommandSent) {
    const std::string slave = folder.newSlaveFrom("Brivex");
    const ConsoleRun run = runConsole(quoted(slave), "Close\nSendF>never\n");
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(run.lines, (std::vector<std::string>{"open 0 (channel 0 open, slave started)",
                                                    "close 0 (reply received): Brivex closed"}));
}

TEST_F(ConsoleScript, FailuresShowTheirStatusAndAFailedCloseEndsWithStatusOne) {
    // The test slave ends at once, leaving the command unanswered.
    const std::string slave = folder.newSlave();
    const ConsoleRun run = runConsole(quoted(slave), "exit>0\n/quit\nnever sent\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.lines, (std::vector<std::string>{"open 0 (channel 0 open, slave started)",
                                                    "write 4 (the slave did not reply in time)",
                                                    "close 2 (the slave process no longer runs)"}));
    EXPECT_NE(run.errors.find("closing channel 0 failed: status 2"), std::string::npos) << run.errors;
}

TEST_F(ConsoleScript, SaysWhyTheChannelDidNotOpen) {
    const ConsoleRun run = runConsole(quoted(folder.pathOf(std::string("Missing") + kProgramSuffix)), "SendF>x\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.lines.empty()) << testing::PrintToString(run.lines);
    EXPECT_NE(run.errors.find("cannot open channel 0"), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("status 3, starting the slave failed"), std::string::npos) << run.errors;
#if defined(_WIN32)
    EXPECT_NE(run.errors.find("unusable path: "), std::string::npos) << "no system reason: " << run.errors;
#else
    EXPECT_NE(run.errors.find("unusable path: No such file or directory."), std::string::npos) << run.errors;
#endif
}

#if !defined(_WIN32)
// The reasons a newcomer meets most, each in the system's words.
TEST_F(ConsoleScript, NamesTheSystemsReasonForAProgramThatCannotStart) {
    const std::string script = folder.pathOf("NoInterpreterLine");
    std::ofstream(script) << "echo a script without its #! line\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    const std::string plain = folder.pathOf("NotExecutable");
    std::ofstream(plain) << "data\n";
    std::filesystem::create_directory(folder.pathOf("AFolder"));
    for (const auto& [path, reason] : {std::pair<std::string, std::string>{script, "Exec format error"},
                                       {plain, "Permission denied"},
                                       {folder.pathOf("AFolder"), "Permission denied"}}) {
        const ConsoleRun run = runConsole(quoted(path), "");
        EXPECT_EQ(run.exitCode, 1) << path;
        EXPECT_NE(run.errors.find("status 3, starting the slave failed, or unusable path: " + reason + "."),
                  std::string::npos)
            << run.errors;
    }
}
#endif

TEST_F(ConsoleScript, RefusesBadArgumentsWithoutOpeningAnything) {
    for (const std::string arguments : {"", "Slave 8", "Slave x", "Slave 0 extra", "--bogus Slave", "--library"}) {
        const ConsoleRun run = runConsole(arguments, "");
        EXPECT_EQ(run.exitCode, 2) << arguments;
        EXPECT_TRUE(run.lines.empty()) << arguments;
        EXPECT_NE(run.errors, "") << arguments;
    }
    const ConsoleRun help = runConsole("--help", "");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.lines.at(0), "Usage: zolt-console [--library FILE] PATH-TO-SLAVE [CHANNEL]");
}

TEST_F(ConsoleScript, WithoutTheLibraryItNamesTheLibrary) {
    const std::string lonely = folder.pathOf(std::string("zolt-console") + kProgramSuffix);
    fs::copy_file(programInBuild("zolt-console"), lonely);
    const ConsoleRun run = runConsole(quoted(folder.newSlaveFrom("Brivex")), "", lonely);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.errors.find(std::string("cannot load the library ") + kLibraryFile), std::string::npos)
        << run.errors;
}

}  // namespace
}  // namespace zolt_test

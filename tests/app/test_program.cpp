// The real program, started as a player would: it runs until SIGTERM, exits 0
// and leaves a complete log; without a display, or when the display goes
// away, it says so in the log.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "tests/support/program.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;

namespace {

using namespace test_program;
using namespace std::chrono_literals;

bool LogHas(const fs::path& folder, const std::string& text, std::chrono::milliseconds limit) {
    return WaitFor([&] { return ReadFile(folder / "log.txt").find(text) != std::string::npos; }, limit);
}

TEST(Program, EndsCleanlyOnSigtermWithACompleteLog) {
    const fs::path folder = MakeTempDir();
    const pid_t pid = StartGame(folder);
    ASSERT_GT(pid, 0);
    const bool started = LogHas(folder, "Engine  : Main Loop start\r\n", 60s);
    kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(started) << ReadFile(folder / "log.txt");
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);

    const std::string log = ReadFile(folder / "log.txt");
    const std::string startLine = "\"Quorvex 0.80\" log start\r\n";
    const std::string closeLine = "\"Quorvex 0.80\" log close\r\n";
    const size_t firstEnd = log.find("\r\n") + 2;
    EXPECT_NE(log.substr(0, firstEnd).find(startLine), std::string::npos) << log;
    ASSERT_GE(log.size(), closeLine.size());
    EXPECT_EQ(log.substr(log.size() - closeLine.size()), closeLine) << log;
    EXPECT_LT(log.find("Engine  : Main Loop start"), log.find("Engine  : Main Loop stop"));
    EXPECT_NE(log.find("Engine  : Main Loop stop"), std::string::npos);
}

TEST(Program, WithoutADisplayLogsTheWindowFailureAndStillEndsCleanly) {
    const fs::path folder = MakeTempDir();
    const pid_t pid = StartGame(folder, kNoDisplay);
    ASSERT_GT(pid, 0);
    const bool started = LogHas(folder, "Engine  : Main Loop start\r\n", 60s);
    kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    const std::string log = ReadFile(folder / "log.txt");
    ASSERT_TRUE(started) << log;
    EXPECT_NE(log.find("Window  : Fatal Error \"RegisterClassEx\"\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("OpenGL  : Init graphics core"), std::string::npos) << "a window that shows nothing";
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
}

// With its own server shut down under it, the game leaves with a log line.
// The server's end is the only way out: SDL's fallback video drivers that show
// nothing are refused, so a game started without any display leaves too.
TEST(Program, LeavesWhenTheDisplayGoesAway) {
    std::string display;
    const pid_t server = StartXServer(display);
    ASSERT_GT(server, 0) << "Xvfb did not start";
    const fs::path folder = MakeTempDir();
    const pid_t game = StartGame(folder, display);
    const bool started = LogHas(folder, "Engine  : Main Loop start\r\n", 60s);
    kill(server, SIGTERM);
    int status = 0;
    waitpid(server, &status, 0);
    const bool ended = WaitForExit(game, status, 30s);
    if (!ended) {
        kill(game, SIGKILL);
        waitpid(game, &status, 0);
    }
    const std::string log = ReadFile(folder / "log.txt");
    ASSERT_TRUE(started) << log;
    EXPECT_TRUE(ended) << "the game kept running without its display";
    EXPECT_NE(log.find("Window  : Display connection lost\r\n"), std::string::npos) << log;
}

} // namespace

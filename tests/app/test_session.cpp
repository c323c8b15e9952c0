// A short session with the real program on the test's own X server, keys sent
// as a player presses them (each held for a moment): Print Screen writes a
// screenshot beside the game folder, F10 opens the console, Esc there ends the
// program cleanly.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "tests/support/program.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using namespace test_program;

// Runs xdotool with the given arguments against the program's window.
bool XDo(unsigned long window, const std::string& arguments) {
    const std::string command = "xdotool windowfocus --sync " + std::to_string(window) + " " + arguments;
    return std::system(command.c_str()) == 0;
}

size_t FilesIn(const fs::path& folder) {
    std::error_code error;
    if (!fs::is_directory(folder, error)) return 0;
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder, error)) ++count;
    return count;
}

TEST(Session, ScreenshotThenConsoleThenEscQuits) {
    ASSERT_EQ(std::system("command -v xdotool >/dev/null 2>&1"), 0) << "needs xdotool (scripts/deps.sh)";
    const fs::path root = MakeTempDir();
    const fs::path game = root / "game";
    fs::create_directories(game);
    const pid_t pid = StartGame(game);
    ASSERT_GE(pid, 0);
    int status = 0;
    bool exited = false;
    auto finished = [&] {
        if (!exited && waitpid(pid, &status, WNOHANG) == pid) exited = true;
        return exited;
    };
    const fs::path log = game / "log.txt";
    const bool running = WaitFor([&] { return ReadFile(log).find("Engine  : Main Loop start") != std::string::npos; }, 60s);
    unsigned long window = 0;
    WaitFor([&] { return (window = WindowOf(pid)) != 0; }, 20s);

    bool shot = false;
    if (running && window != 0) {
        EXPECT_TRUE(Press(window, "Print")); // saved on its release
        shot = WaitFor([&] { return FilesIn(root / "ScreenShots") > 0; }, 30s);
        EXPECT_TRUE(Press(window, "F10")); // opens the console on its system-key message
        // The console reads Esc from the step's flags: held until the program
        // ends, a step sees it however slowly the machine runs.
        EXPECT_TRUE(XDo(window, "keydown Escape"));
        WaitFor(finished, 60s);
        EXPECT_EQ(std::system("xdotool keyup Escape"), 0);
    }
    if (!finished()) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        exited = false;
    }
    const std::string text = ReadFile(log);
    ASSERT_TRUE(running) << text;
    ASSERT_NE(window, 0u) << "no visible window";
    EXPECT_TRUE(shot) << text;
    ASSERT_TRUE(exited) << "the program did not end on Esc\n" << text;
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(text.find("Engine  : Main Loop stop"), std::string::npos);
    EXPECT_EQ(text.find("Error in Proc"), std::string::npos) << text;

    if (shot) {
        const fs::path file = fs::directory_iterator(root / "ScreenShots")->path();
        const std::string bytes = ReadFile(file);
        ASSERT_GE(bytes.size(), 54u);
        EXPECT_EQ(bytes.substr(0, 2), "BM");
        const auto le32 = [&](size_t at) {
            return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) |
                   static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8 |
                   static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 16 |
                   static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
        };
        EXPECT_EQ(le32(2), bytes.size());
        const uint32_t width = le32(18), height = le32(22);
        EXPECT_GT(width, 0u);
        EXPECT_EQ(bytes.size(), 54 + ((width * 3 + 3) & ~3u) * height);
    }
}

} // namespace

// The real program, started as a player would: it runs until SIGTERM, exits 0
// and leaves a complete log.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/test_support.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Starts the game in a folder of its own (with the images beside it) and
// returns its process id; display, when given, replaces DISPLAY.
pid_t StartGame(const fs::path& folder, const std::string& display = "") {
    const fs::path gameDir = NIVORA_GAME_DIR;
    fs::create_symlink(gameDir / "Images", folder / "Images");
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0) _exit(127);
        if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
        const std::string program = (gameDir / "nivora").string();
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

bool WaitForText(const fs::path& file, const std::string& text, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (ReadFile(file).find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

TEST(Program, EndsCleanlyOnSigtermWithACompleteLog) {
    const fs::path folder = MakeTempDir();
    const pid_t pid = StartGame(folder);
    ASSERT_GT(pid, 0);
    const bool started = WaitForText(folder / "log.txt", "Engine  : Main Loop start\r\n", std::chrono::seconds(60));
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

// Starts an X server of its own and returns its pid; display gets ":N".
pid_t StartXServer(std::string& display) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        const std::string fd = std::to_string(pipeFds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    char number[16] = {};
    const ssize_t n = read(pipeFds[0], number, sizeof number - 1);
    close(pipeFds[0]);
    if (n <= 0) return -1;
    display = ":" + std::string(number, static_cast<size_t>(n - (number[n - 1] == '\n' ? 1 : 0)));
    return pid;
}

// Waits up to limit for the process to end; false when it is still running.
bool WaitForExit(pid_t pid, int& status, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid, &status, WNOHANG) == pid) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

TEST(Program, LeavesWhenTheDisplayGoesAway) {
    if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) GTEST_SKIP() << "needs Xvfb";
    std::string display;
    const pid_t server = StartXServer(display);
    ASSERT_GT(server, 0);
    const fs::path folder = MakeTempDir();
    const pid_t game = StartGame(folder, display);
    const bool started = WaitForText(folder / "log.txt", "Engine  : Main Loop start\r\n", std::chrono::seconds(60));
    kill(server, SIGTERM);
    int status = 0;
    waitpid(server, &status, 0);
    const bool ended = WaitForExit(game, status, std::chrono::seconds(30));
    if (!ended) {
        kill(game, SIGKILL);
        waitpid(game, &status, 0);
    }
    ASSERT_TRUE(started) << ReadFile(folder / "log.txt");
    EXPECT_TRUE(ended) << "the game kept running without its display";
    EXPECT_NE(ReadFile(folder / "log.txt").find("Window  : Display connection lost\r\n"), std::string::npos);
}

} // namespace

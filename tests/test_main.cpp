// Test entry: every test process runs with a live engine whose log goes to a
// file of its own, as the game's goes to "log.txt".
#include <gtest/gtest.h>
#include <unistd.h>


#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "engine/engine.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;

namespace {
std::vector<fs::path> tempDirs;
}

const std::string& TestLogPath() {
    static const std::string path =
        (fs::temp_directory_path() / ("nivora-test-" + std::to_string(::getpid()) + ".log")).string();
    return path;
}

std::string TestLogText() { return ReadFile(TestLogPath()); }

size_t Occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string MakeTempDir() {
    static int counter = 0;
    const fs::path dir = fs::temp_directory_path() /
                         ("nivora-test-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    fs::remove_all(dir);
    fs::create_directories(dir);
    tempDirs.push_back(dir);
    return dir.string();
}

pid_t StartXServer(std::string& display, const std::vector<std::string>& extraArgs) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return -1;
    std::vector<std::string> args = {"Xvfb", "-displayfd", std::to_string(pipeFds[1]), "-screen", "0", "640x480x24",
                                     "-nolisten", "tcp"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    // The server writes the number and its line end separately, then closes
    // the pipe; closing our end after the first write would fail the second,
    // and the server gives up on it. So read to the end.
    std::string number;
    char chunk[16];
    for (ssize_t n; (n = read(pipeFds[0], chunk, sizeof chunk)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        number.append(chunk, static_cast<size_t>(n));
    }
    close(pipeFds[0]);
    while (!number.empty() && number.back() == '\n') number.pop_back();
    if (pid < 0 || number.empty()) return -1;
    display = ":" + number;
    return pid;
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // CTest lists the cases to find them, with none of the tests' environment
    // (the leak checker's list of the system libraries' own leaks among it):
    // a listing runs nothing, so it starts no engine, which on a desktop
    // would reach the display and its session bus.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    // No test reaches a score server beyond this machine: unless a test names
    // its own, requests go to a loopback port nobody listens on (the games the
    // tests start inherit this too).
    ::setenv("NIVORA_SCORE_SERVER", "127.0.0.1:1", 0);
    qx::InitEngine(TestLogPath());
    const int result = RUN_ALL_TESTS();
    qx::FreeEngine();
    std::error_code ignored;
    for (const auto& dir : tempDirs) fs::remove_all(dir, ignored);
    if (result == 0) fs::remove(TestLogPath(), ignored);
    return result;
}

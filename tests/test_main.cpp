// Test entry: every test process runs with a live engine whose log goes to a
// file of its own, as the game's goes to "log.txt".
#include <gtest/gtest.h>
#include <unistd.h>

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

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    qx::InitEngine(TestLogPath());
    const int result = RUN_ALL_TESTS();
    qx::FreeEngine();
    std::error_code ignored;
    for (const auto& dir : tempDirs) fs::remove_all(dir, ignored);
    if (result == 0) fs::remove(TestLogPath(), ignored);
    return result;
}

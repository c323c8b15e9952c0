// The game program started by the tests (see program.h).
#include "tests/support/program.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace fs = std::filesystem;

namespace test_program {

pid_t StartGame(const fs::path& folder, const std::string& display) {
    const fs::path gameDir = NIVORA_GAME_DIR;
    fs::create_symlink(gameDir / "Images", folder / "Images");
    if (fs::exists(gameDir / "fonts.conf")) fs::copy_file(gameDir / "fonts.conf", folder / "fonts.conf");
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0) _exit(127);
        if (display == kNoDisplay) {
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
        } else if (!display.empty()) {
            setenv("DISPLAY", display.c_str(), 1);
        }
        const std::string program = (gameDir / "nivora").string();
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

bool WaitForExit(pid_t pid, int& status, std::chrono::milliseconds limit) {
    return WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, limit);
}

unsigned long WindowOf(pid_t pid) {
    const std::string command = "xdotool search --onlyvisible --pid " + std::to_string(pid) + " 2>/dev/null";
    FILE* output = popen(command.c_str(), "r");
    if (!output) return 0;
    unsigned long window = 0;
    if (std::fscanf(output, "%lu", &window) != 1) window = 0;
    pclose(output);
    return window;
}

bool Press(unsigned long window, const std::string& key) {
    const std::string command = "xdotool windowfocus --sync " + std::to_string(window) + " keydown " + key +
                                " sleep 0.05 keyup " + key;
    return std::system(command.c_str()) == 0;
}

} // namespace test_program

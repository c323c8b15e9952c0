// The game program started by the tests (see program.h).
#include "tests/support/program.h"

#include <sys/wait.h>
#include <unistd.h>

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

} // namespace test_program

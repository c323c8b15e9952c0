// The real game program started as a player starts it, for the tests that
// drive it from the outside. A test program that includes this header runs whole
// on an X server of its own (CTest starts it through tests/with_display.sh),
// which the game opens its window on unless a test names another display.
#pragma once

#include "tests/support/display.h"

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace test_program {

// The display argument of StartGame that starts the game with no display at all.
inline const std::string kNoDisplay = "none";

// Starts build/game/nivora in folder (the images and the font configuration
// linked or copied beside it) and returns its process id; display, when given,
// replaces DISPLAY.
pid_t StartGame(const std::filesystem::path& folder, const std::string& display = "");

// Polls condition every 50 ms until it holds or limit has passed; its last answer.
template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

// Waits up to limit for the process to end, filling status; false when it still runs.
bool WaitForExit(pid_t pid, int& status, std::chrono::milliseconds limit);

// ---- Real input through xdotool ----
// The program's visible window, found by its process; 0 when there is none yet.
unsigned long WindowOf(pid_t pid);
// Holds the key (an xdotool key name) for 50 ms on the focused window, as a
// person presses it. Only for keys the program acts on as their messages
// arrive: a key read from the step's flags could go down and up within one
// slow pass of the loop and never be seen.
bool Press(unsigned long window, const std::string& key);

} // namespace test_program

// Whole sessions with the real program on the test's own X server, played with
// real key presses and mouse motion as a person would: the greeting, a typed
// nickname, an option, a new game, a click on a group, pause, resume and quit;
// a whole game played with the keyboard alone; and the menus on a 3840 x 2160
// screen, drawn at twice the size and clicked where they are drawn.
// Screenshots (Print Screen, which the program handles as its message
// arrives) show what is on the screen. A key the program reads from a step's
// key flags is held, as a person holds it, until the screen shows its effect:
// a slow loop pass could otherwise see it go down and up unnoticed. The
// server's auto-repeat is off, so a held key acts once. Then the settings, the
// records and the log the program leaves behind are checked.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <X11/Xlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <set>

#include "tests/support/program.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using namespace test_program;

// The size of the screen tests/with_display.sh starts, which the game fills.
constexpr int kWidth = 1024, kHeight = 768;

// A 24-bit bottom-up bitmap as the game writes it, read in the game's view
// pixels: Scale x Scale pixels of the bitmap each.
struct TShot {
    std::string Bytes;
    int Width = 0, Height = 0; // of the bitmap
    int Scale = 1;

    bool Valid() const { return Bytes.size() >= 54 && Bytes.compare(0, 2, "BM") == 0 && Width > 0 && Height > 0; }
    int ViewWidth() const { return Width / Scale; }
    int ViewHeight() const { return Height / Scale; }
    // Mean red, green, blue of the w x h block of view pixels at (x, y), y down.
    std::array<double, 3> Mean(int x, int y, int w, int h) const {
        std::array<double, 3> sum{};
        if (!Valid()) return sum;
        x *= Scale, y *= Scale, w *= Scale, h *= Scale;
        const size_t row = (static_cast<size_t>(Width) * 3 + 3) & ~size_t{3};
        for (int yy = y; yy < y + h; ++yy)
            for (int xx = x; xx < x + w; ++xx) {
                const size_t at = 54 + static_cast<size_t>(Height - 1 - yy) * row + static_cast<size_t>(xx) * 3;
                for (int k = 0; k < 3; ++k) sum[k] += static_cast<uint8_t>(Bytes[at + 2 - k]);
            }
        for (double& channel : sum) channel /= static_cast<double>(w) * h;
        return sum;
    }
    // The bytes of the w x h block of view pixels at (x, y), to compare two shots.
    std::string Block(int x, int y, int w, int h) const {
        std::string block;
        if (!Valid()) return block;
        x *= Scale, y *= Scale, w *= Scale, h *= Scale;
        const size_t row = (static_cast<size_t>(Width) * 3 + 3) & ~size_t{3};
        for (int yy = y; yy < y + h; ++yy)
            block += Bytes.substr(54 + static_cast<size_t>(Height - 1 - yy) * row + static_cast<size_t>(x) * 3,
                                  static_cast<size_t>(w) * 3);
        return block;
    }
};

// The little-endian 32-bit value at of bytes, which must hold it.
uint32_t Le32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int k = 3; k >= 0; --k) value = value << 8 | static_cast<uint8_t>(bytes[at + k]);
    return value;
}

// The name of the first (best) record of a Sys.rec; "" when the file is not whole.
std::string FirstRecordName(const std::string& records) {
    return records.size() == 960 ? records.substr(13, static_cast<uint8_t>(records[12])) : std::string();
}

TShot ReadShot(const fs::path& path, int scale = 1) {
    TShot shot;
    shot.Scale = scale;
    shot.Bytes = ReadFile(path);
    if (shot.Bytes.size() < 54) return shot;
    shot.Width = static_cast<int>(Le32(shot.Bytes, 18));
    shot.Height = static_cast<int>(Le32(shot.Bytes, 22));
    const size_t row = (static_cast<size_t>(shot.Width) * 3 + 3) & ~size_t{3};
    if (shot.Bytes.size() < 54 + row * static_cast<size_t>(shot.Height)) shot.Width = 0;
    return shot;
}

// The middle of the board's bottom rows: cells in the game, snow in the menus.
bool ShowsSnow(const TShot& shot) {
    const auto mean = shot.Mean(shot.ViewWidth() / 2 - 150, shot.ViewHeight() - 96, 300, 60);
    return mean[0] > 190 && mean[1] > 190 && mean[2] > 200;
}
// The nickname panel over the sky left of the logo: grey, where the menus show the dark sky.
bool ShowsPanel(const TShot& shot) {
    const auto mean = shot.Mean(10, 60, 240, 60);
    return mean[0] > 25 && mean[2] > 25;
}
// Whether the caption of row of a menu of count items is the selected one (cyan).
bool Selected(const TShot& shot, int count, int row) {
    const int top = (shot.ViewHeight() - 32 * count) / 2 + 32 * row;
    int cyan = 0;
    for (int y = top + 4; y < top + 28; ++y)
        for (int x = shot.ViewWidth() / 2 - 120; x < shot.ViewWidth() / 2 + 120; ++x) {
            const auto p = shot.Mean(x, y, 1, 1);
            cyan += p[0] < 60 && p[1] > 180 && p[2] > 180 ? 1 : 0;
        }
    return cyan > 20;
}
constexpr int kMainItems = 6, kOptionItems = 8;
// Green pixels of the nickname entry's input line where the typed text stands.
int TypedPixels(const TShot& shot) {
    int green = 0;
    for (int y = 98; y < 116; ++y)
        for (int x = 128; x < 260; ++x) {
            const auto p = shot.Mean(x, y, 1, 1);
            green += p[1] > 150 && p[0] < 100 && p[2] < 100 ? 1 : 0;
        }
    return green;
}
// The side panel's score line.
std::string ScoreLine(const TShot& shot) { return shot.Block(25, 57, 150, 14); }

// An X server of the test's own with one screen of width x height, made this
// process's display (and so the game's and xdotool's) while the object lives.
class TScreen {
public:
    TScreen(int width, int height) {
        int numberPipe[2];
        if (pipe(numberPipe) != 0) return;
        server_ = fork();
        if (server_ == 0) {
            dup2(numberPipe[1], 3);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
            execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", screen.c_str(), "-nolisten", "tcp", "-noreset",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(numberPipe[1]);
        std::string number;
        char c = 0;
        while (server_ > 0 && read(numberPipe[0], &c, 1) == 1 && c != '\n') number += c;
        close(numberPipe[0]);
        if (number.empty()) return;
        if (const char* display = std::getenv("DISPLAY")) previous_ = display;
        setenv("DISPLAY", (":" + number).c_str(), 1);
        ready_ = true;
    }
    ~TScreen() {
        if (ready_) setenv("DISPLAY", previous_.c_str(), 1);
        if (server_ > 0) {
            kill(server_, SIGTERM);
            waitpid(server_, nullptr, 0);
        }
    }
    TScreen(const TScreen&) = delete;
    TScreen& operator=(const TScreen&) = delete;
    bool Ready() const { return ready_; }

private:
    pid_t server_ = -1;
    bool ready_ = false;
    std::string previous_;
};

class PlaySession : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(std::system("command -v xdotool >/dev/null 2>&1"), 0) << "needs xdotool (scripts/deps.sh)";
        root_ = MakeTempDir();
        game_ = root_ / "game";
        fs::create_directories(game_);
    }
    void TearDown() override {
        if (HasFailure()) {
            const std::string log = Log();
            std::cerr << "the end of the program's log:\n" << log.substr(log.size() > 3000 ? log.size() - 3000 : 0);
        }
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status_, 0);
        }
    }

    void Start() {
        Display* display = XOpenDisplay(nullptr);
        ASSERT_NE(display, nullptr);
        XAutoRepeatOff(display); // for the server's life: held keys act once
        XCloseDisplay(display);
        pid_ = StartGame(game_);
        ASSERT_GT(pid_, 0);
    }
    bool Finished() {
        if (!exited_ && waitpid(pid_, &status_, WNOHANG) == pid_) exited_ = true;
        return exited_;
    }
    std::string Log() const { return ReadFile(game_ / "log.txt"); }

    bool XDo(const std::string& arguments) const {
        return std::system(("xdotool " + arguments + " >/dev/null 2>&1").c_str()) == 0;
    }
    // Holds the key down until a screenshot satisfies done; false when none did in time.
    template <typename Done>
    bool HoldUntil(const std::string& key, Done done, std::chrono::milliseconds limit = 60s) {
        EXPECT_TRUE(XDo("keydown " + key));
        const bool seen = WaitFor([&] { return done(Shot()); }, limit);
        EXPECT_TRUE(XDo("keyup " + key));
        return seen;
    }
    // The software cursor into the top-left corner, away from every menu item.
    bool ParkCursor() const {
        return XDo("mousemove_relative -- -3000 -3000") && XDo("mousemove_relative -- -3000 -3000");
    }
    // The software cursor follows relative motion: pushed into the top-left
    // corner first, then moved to (x, y) in steps the server passes whole.
    // A slow game is given pause after each step to take it in: motion that
    // piles up between two of its passes can arrive short.
    bool MoveCursorTo(int x, int y, const std::string& pause = "0") const {
        bool ok = ParkCursor() && XDo("sleep " + pause);
        for (int dx = x, dy = y; ok && (dx > 0 || dy > 0);) {
            const int sx = std::min(dx, 200), sy = std::min(dy, 200);
            ok = XDo("mousemove_relative -- " + std::to_string(sx) + " " + std::to_string(sy) + " sleep " + pause);
            dx -= sx;
            dy -= sy;
        }
        return ok;
    }
    // Holds the left button over two screenshots, so a step has seen it; it acts once.
    bool Click() {
        const bool pressed = XDo("mousedown 1");
        Shot();
        Shot();
        return XDo("mouseup 1") && pressed;
    }
    // Print Screen, then the new screenshot once the game has written it.
    TShot Shot() {
        EXPECT_TRUE(XDo("keydown Print sleep 0.05 keyup Print"));
        const fs::path folder = root_ / "ScreenShots";
        fs::path found;
        WaitFor(
            [&] {
                std::error_code error;
                for (const auto& entry : fs::directory_iterator(folder, error)) {
                    if (seen_.count(entry.path()) == 0 && ReadShot(entry.path()).Valid()) {
                        found = entry.path();
                        return true;
                    }
                }
                return false;
            },
            30s);
        if (found.empty()) return {};
        seen_.insert(found);
        return ReadShot(found, scale_);
    }

    // Starts the program, focuses its window and gives the nickname entry,
    // the first screen, a name of three letters or more.
    void StartAndGreet(const std::string& name) {
        Start();
        ASSERT_TRUE(WaitFor([&] { return Log().find("Engine  : Main Loop start") != std::string::npos; }, 60s)) << Log();
        ASSERT_TRUE(WaitFor([&] { return (window_ = WindowOf(pid_)) != 0; }, 30s)) << "no visible window";
        // Focused once: refocusing while a key is held could make the program
        // inactive for a moment, which drops the key's flag.
        ASSERT_TRUE(XDo("windowfocus --sync " + std::to_string(window_)));

        const TShot greeting = Shot();
        ASSERT_TRUE(greeting.Valid());
        ASSERT_EQ(greeting.Width, screenWidth_) << "the screenshot has the screen's full resolution";
        EXPECT_TRUE(ShowsPanel(greeting)) << "the nickname entry is not the first screen";

        // Text typed while the window's input method is still starting can be
        // lost, and Enter takes a name only from its third character on: typed
        // again (after clearing whatever came through) until Enter takes it.
        const int blank = TypedPixels(greeting);
        bool taken = false;
        for (int attempt = 0; attempt < 5 && !taken; ++attempt) {
            for (int i = 0; attempt > 0 && i < 6; ++i) EXPECT_TRUE(XDo("keydown BackSpace sleep 0.05 keyup BackSpace"));
            ASSERT_TRUE(XDo("type --delay 60 " + name));
            if (!WaitFor([&] { return TypedPixels(Shot()) > blank + 25; }, 10s)) continue;
            taken = HoldUntil("Return", [](const TShot& shot) { return !ShowsPanel(shot); }, 15s);
        }
        ASSERT_TRUE(taken) << "the name was not taken";
        // The menus select the item under the cursor whenever the mouse moves,
        // and the cursor starts in the middle of the screen, on the column of
        // items: it is put out of the way, as a player at the keyboard would.
        ASSERT_TRUE(ParkCursor());
    }
    // Esc in the main menu quits: held until the program has ended with status 0.
    void QuitFromTheMenu() {
        EXPECT_TRUE(XDo("keydown Escape"));
        const bool ended = WaitFor([&] { return Finished(); }, 60s);
        EXPECT_TRUE(XDo("keyup Escape"));
        ASSERT_TRUE(ended) << "the program did not end\n" << Log();
        ASSERT_TRUE(WIFEXITED(status_)) << "signal " << WTERMSIG(status_);
        EXPECT_EQ(WEXITSTATUS(status_), 0);
    }

    pid_t pid_ = -1;
    int status_ = 0;
    bool exited_ = false;
    unsigned long window_ = 0;
    int screenWidth_ = kWidth; // the X server's screen, which the game fills
    int scale_ = 1;            // the UI scale the game is expected to pick
    fs::path root_, game_;
    std::set<fs::path> seen_;
};

TEST_F(PlaySession, GreetNameOptionNewGameClickPauseResumeQuit) {
    StartAndGreet("Bob");
    if (HasFatalFailure()) return;
    const TShot menu = Shot();
    EXPECT_TRUE(ShowsSnow(menu));
    EXPECT_TRUE(Selected(menu, kMainItems, 1)); // "New game"

    // Options, "Active menu" off: the background stands still from here on,
    // so two shots differ only where the game changed.
    ASSERT_TRUE(HoldUntil("Down", [](const TShot& shot) { return Selected(shot, kMainItems, 2); }));
    ASSERT_TRUE(HoldUntil("Return", [](const TShot& shot) { return Selected(shot, kOptionItems, 0); }));
    ASSERT_TRUE(HoldUntil("Up", [](const TShot& shot) { return Selected(shot, kOptionItems, 7); })); // round to "Back"
    ASSERT_TRUE(HoldUntil("Up", [](const TShot& shot) { return Selected(shot, kOptionItems, 6); })); // "Active menu On"
    const std::string activeOn = Shot().Block(kWidth / 2 - 120, (kHeight - 32 * kOptionItems) / 2 + 6 * 32, 240, 32);
    ASSERT_TRUE(HoldUntil("Return", [&](const TShot& shot) {
        return shot.Block(kWidth / 2 - 120, (kHeight - 32 * kOptionItems) / 2 + 6 * 32, 240, 32) != activeOn;
    }));
    ASSERT_TRUE(HoldUntil("Escape", [](const TShot& shot) { return Selected(shot, kMainItems, 2); }));
    ASSERT_TRUE(HoldUntil("Up", [](const TShot& shot) { return Selected(shot, kMainItems, 1); }));
    ASSERT_TRUE(HoldUntil("Return", [](const TShot& shot) { return !ShowsSnow(shot); })) << "no board after New game";
    const TShot dealt = Shot();

    // The board is random: click cells of the bottom rows until one was part
    // of a group, which the score line then shows.
    bool scored = false;
    for (int row = 1; row <= 3 && !scored; ++row) {
        for (int column = 1; column <= 10 && !scored; ++column) {
            const int x = kWidth / 2 - (5 - (column - 1)) * 32 + 16;
            const int y = kHeight - (row + 1) * 32 + 16;
            ASSERT_TRUE(MoveCursorTo(x, y));
            ASSERT_TRUE(Click());
            scored = ScoreLine(Shot()) != ScoreLine(dealt);
        }
    }
    EXPECT_TRUE(scored) << "no click removed a group";

    ASSERT_TRUE(HoldUntil("Escape", ShowsSnow)) << "Esc did not pause into the menu";
    ASSERT_TRUE(HoldUntil("Up", [](const TShot& shot) { return Selected(shot, kMainItems, 0); })); // "Resume game"
    ASSERT_TRUE(HoldUntil("Return", [](const TShot& shot) { return !ShowsSnow(shot); }))
        << "Resume game did not return to the board";
    ASSERT_TRUE(HoldUntil("Escape", ShowsSnow)); // pause again
    QuitFromTheMenu();
    if (HasFatalFailure()) return;

    const std::string settings = ReadFile(game_ / "Settings.dat");
    ASSERT_EQ(settings.size(), 44u);
    EXPECT_EQ(settings[4], 5);
    EXPECT_EQ(settings.substr(5, 5), "^2Bob");
    EXPECT_EQ(settings[37], 1); // Show FPS
    EXPECT_EQ(settings[38], 0); // Active menu, switched off
    const std::string records = ReadFile(game_ / "Sys.rec");
    ASSERT_EQ(records.size(), 960u);
    EXPECT_EQ(FirstRecordName(records), "User[20]"); // no game was finished
    const std::string log = Log();
    EXPECT_NE(log.find("Engine  : Main Loop stop"), std::string::npos);
    EXPECT_EQ(log.find("Error in Proc"), std::string::npos) << log;
    EXPECT_EQ(log.substr(log.size() - 26), "\"Quorvex 0.80\" log close\r\n");
}

// A player with only a keyboard: past the greeting and into a game with Enter,
// then the arrows sweep the board from its bottom-left cell, row by row, with
// Space on every cell, until the game is over and its result is the first
// record; Esc then quits.
TEST_F(PlaySession, AWholeGameWithTheKeyboardAlone) {
    StartAndGreet("Kay");
    if (HasFatalFailure()) return;
    // Looked at before Enter is pressed again: a release and a press that come
    // together look to the window like the server's own key repeat.
    ASSERT_TRUE(WaitFor([&] { return Selected(Shot(), kMainItems, 1); }, 30s)) << "New game is not selected";
    ASSERT_TRUE(HoldUntil("Return", [](const TShot& shot) { return !ShowsSnow(shot); })) << "no board after New game";

    // Taps in one run of xdotool, 40 ms apart.
    const auto keys = [&](const std::string& key, int count, const std::string& last = "") {
        std::string line = "key --delay 40";
        for (int i = 0; i < count; ++i) line += " " + key;
        ASSERT_TRUE(XDo(line + " " + last));
    };
    bool over = false;
    for (int sweep = 0; sweep < 20 && !over; ++sweep) {
        keys("Left", 12); // the first arrow from off the board enters it
        keys("Down", 22);
        for (int row = 1; row <= 20 && !over; ++row) {
            keys(row % 2 == 1 ? "space Right" : "space Left", 9, "space Up");
            over = FirstRecordName(ReadFile(game_ / "Sys.rec")) == "^2Kay";
            ASSERT_FALSE(Finished()) << Log();
        }
    }
    ASSERT_TRUE(over) << "no game ended in twenty sweeps";
    ASSERT_TRUE(WaitFor([&] { return ShowsSnow(Shot()); }, 30s)) << "the menu did not come back";
    QuitFromTheMenu();
    if (HasFatalFailure()) return;

    const std::string records = ReadFile(game_ / "Sys.rec");
    ASSERT_EQ(FirstRecordName(records), "^2Kay");
    // The first record starts with its score and level.
    EXPECT_GT(Le32(records, 0), 0u);
    EXPECT_GT(Le32(records, 4), 0u) << "the game ended at level 0";
    EXPECT_EQ(ReadFile(game_ / "Settings.dat").substr(5, 5), "^2Kay");
    EXPECT_EQ(Log().find("Error in Proc"), std::string::npos) << Log();
}

// On a 3840 x 2160 screen the game picks the UI scale 2 (a NIVORA_SCALE it
// cannot take is logged and ignored): the screenshots have the screen's full
// size and show the 1920 x 1080 layout with twice the pixels, and a click at
// the middle of a menu row, in the screen's pixels, chooses that row.
TEST_F(PlaySession, OnA4KScreenTheMenusAreTwiceAsLargeAndChosenWhereTheyAreDrawn) {
    TScreen screen(3840, 2160);
    ASSERT_TRUE(screen.Ready()) << "no 3840 x 2160 X server";
    screenWidth_ = 3840;
    scale_ = 2;
    setenv("NIVORA_SCALE", "five", 1);
    StartAndGreet("Uma");
    unsetenv("NIVORA_SCALE");
    if (HasFatalFailure()) return;

    const TShot menu = Shot();
    ASSERT_EQ(menu.Height, 2160);
    ASSERT_EQ(menu.ViewWidth(), 1920);
    EXPECT_TRUE(ShowsSnow(menu));
    EXPECT_TRUE(Selected(menu, kMainItems, 1)); // "New game", where 1920 x 1080 has it, doubled
    EXPECT_FALSE(Selected(menu, kMainItems, 2));
    // Rows of the view, 32 view pixels each around its middle; their middles in screen pixels.
    const int optionsRow = (1080 - 32 * kMainItems) / 2 + 2 * 32;
    // Drawing 4K frames in software on a busy machine the game may take a
    // few passes a second: the way there is walked slowly, and once more from
    // the corner when the cursor still fell short.
    bool reached = false;
    for (int attempt = 0; attempt < 3 && !reached; ++attempt) {
        ASSERT_TRUE(MoveCursorTo(2 * 960, 2 * (optionsRow + 16), "0.4"));
        reached = WaitFor([&] { return Selected(Shot(), kMainItems, 2); }, 15s);
    }
    ASSERT_TRUE(reached) << "the mouse did not reach Options";
    ASSERT_TRUE(Click());
    EXPECT_TRUE(WaitFor([&] { return Selected(Shot(), kOptionItems, 0); }, 30s)) << "the click did not open Options";
    // Ended by SIGTERM, through the normal shutdown, before its X server goes.
    kill(pid_, SIGTERM);
    ASSERT_TRUE(WaitFor([&] { return Finished(); }, 60s)) << "the program did not end";
    EXPECT_TRUE(WIFEXITED(status_) && WEXITSTATUS(status_) == 0) << status_;

    const std::string log = Log();
    EXPECT_NE(log.find("Display : NIVORA_SCALE \"five\" is not 1, 2, 3 or 4; the scale follows the screen"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Display : UI scale 2"), std::string::npos);
    EXPECT_EQ(log.find("Error in Proc"), std::string::npos) << log;
}

} // namespace


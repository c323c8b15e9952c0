// The application's start-up and the developer console on a real window:
// what TApp sets up, the console's frame, its keys as the window delivers them,
// and screenshots from the Print Screen key.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <vector>

#include "app/app.h"
#include "app/scene.h"
#include "engine/engine.h"
#include "presentation/tools.h"
#include "tests/test_support.h"
#include "tests/support/window.h"

namespace fs = std::filesystem;
using namespace test_window;

namespace {

// A fresh engine with the application set up as the program does it.
std::unique_ptr<TApp> StartApp(std::vector<const char*> args) {
    qx::InitEngine(TestLogPath());
    CurrentScene = nullptr;
    ConsoleSel = 0;
    return std::make_unique<TApp>(static_cast<int>(args.size()), args.data());
}

TEST(AppStart, OpensTheDesktopModeInFullScreenAndCapturesTheMouse) {
    const auto app = StartApp({"nivora"});
    int32_t width = 0, height = 0, bpp = 0, freq = 0;
    qx::wnd->DesktopMode(width, height, bpp, freq);
    EXPECT_FALSE(app->debug);
    EXPECT_TRUE(qx::wnd->Created());
    EXPECT_FALSE(qx::wnd->Windowed());
    EXPECT_EQ(qx::wnd->Width(), width);
    EXPECT_EQ(qx::wnd->Height(), height);
    EXPECT_EQ(qx::wnd->BPP(), bpp);
    EXPECT_TRUE(qx::inp->Captured());
    EXPECT_TRUE(qx::eng->PauseInactive());
    EXPECT_FALSE(qx::ogl->VSync());
    EXPECT_EQ(qx::ogl->AASamples(), 0);
    EXPECT_NE(SDL_GetWindowFlags(qx::wnd->Handle()) & SDL_WINDOW_ALWAYS_ON_TOP, 0u);
    EXPECT_EQ(std::string(SDL_GetWindowTitle(qx::wnd->Handle())), "Nivora");
}

TEST(AppStart, OnlyExactlyOneDebugArgumentMakesAnOrdinaryWindow) {
    struct Case {
        std::vector<const char*> args;
        bool debug;
    };
    for (const Case& c : {Case{{"nivora", "-Debug"}, true}, Case{{"nivora", "-debug"}, false},
                          Case{{"nivora", "-Debug", "x"}, false}}) {
        const auto app = StartApp(c.args);
        EXPECT_EQ(app->debug, c.debug) << c.args.size();
        EXPECT_EQ((SDL_GetWindowFlags(qx::wnd->Handle()) & SDL_WINDOW_ALWAYS_ON_TOP) == 0, c.debug);
        EXPECT_FALSE(qx::wnd->Windowed()); // full screen either way
    }
}

class NamedScene : public TScene {
public:
    using TScene::TScene;
    void Render() override {}
    void Update() override {}
};

class Console : public testing::Test {
protected:
    void SetUp() override {
        app_ = StartApp({"nivora"});
        ASSERT_TRUE(WaitUntilActive());
        qx::inp->Reset();
    }
    // One update step, as the main loop runs it.
    void Step() { qx::eng->Update(); }

    std::unique_ptr<TApp> app_;
};

TEST_F(Console, F10FromAnySceneOpensItWithThatSceneSelected) {
    NamedScene first("First"), second("Second"), third("Third");
    CurrentScene = &second;
    Key(SDL_SCANCODE_F10, true);
    EXPECT_EQ(CurrentScene, nullptr);
    EXPECT_EQ(ConsoleSel, SceneList.IndexOf(&second));
    EXPECT_FALSE(qx::inp->Down(qx::key::F10)); // a system key sets no flag
    Key(SDL_SCANCODE_F10, false);
    Key(SDL_SCANCODE_F10, true); // already open: nothing changes
    EXPECT_EQ(ConsoleSel, SceneList.IndexOf(&second));
}

TEST_F(Console, ArrowsMoveOncePerPressAndEnterOpensTheScene) {
    NamedScene first("First"), second("Second");
    ConsoleSel = SceneList.IndexOf(&first);
    const int32_t last = SceneList.Count() - 1;
    for (int i = 0; i < SceneList.Count() + 2; ++i) {
        Key(SDL_SCANCODE_UP, true, KMOD_NONE, i > 0); // auto-repeat after the first
        Step();
        Step(); // held, but the console cleared the flag: no second move
    }
    EXPECT_EQ(ConsoleSel, last);
    Key(SDL_SCANCODE_UP, false);
    Key(SDL_SCANCODE_DOWN, true);
    Step();
    Key(SDL_SCANCODE_DOWN, false);
    EXPECT_EQ(ConsoleSel, last - 1);
    ConsoleSel = SceneList.IndexOf(&second);
    Key(SDL_SCANCODE_RETURN, true);
    Step();
    EXPECT_EQ(CurrentScene, &second);
    CurrentScene = nullptr;
}

TEST_F(Console, EscEndsTheProgram) {
    Key(SDL_SCANCODE_ESCAPE, true);
    Step();
    EXPECT_TRUE(qx::eng->Quitting());
}

TEST_F(Console, FrameShowsTheTitleInRedAndTheClockInGreen) {
    NamedScene scene("Shown");
    AppRender(); // no scene is current: the console's frame
    const int32_t width = qx::wnd->Width();
    const int32_t height = qx::wnd->Height();
    const TPicture frame = ReadFrame();
    auto count = [&](int x0, int y0, int x1, int y1, bool (*match)(const uint8_t*)) {
        return frame.Count(x0, y0, x1, y1, match);
    };
    auto red = [](const uint8_t* p) { return p[0] > 128 && p[1] < 64 && p[2] < 64; };
    auto green = [](const uint8_t* p) { return p[1] > 128 && p[0] < 64 && p[2] < 64; };
    auto white = [](const uint8_t* p) { return p[0] > 128 && p[1] > 128 && p[2] > 128; };
    EXPECT_GT(count(10, 10, 150, 25, red), 0);         // "System menu"
    EXPECT_EQ(count(10, 25, 400, 130, red), 0);        // the lines below are white
    EXPECT_GT(count(10, 25, 150, 40, white), 0);       // "Concurs : None"
    EXPECT_GT(count(width - 200, 10, width, 55, green), 0); // time, date, FPS
    EXPECT_EQ(count(200, 200, width - 200, height, white), 0);
}

class ScreenShotKey : public Console {
protected:
    void SetUp() override {
        Console::SetUp();
        root_ = MakeTempDir();
        fs::create_directories(root_ + "/game");
        previous_ = fs::current_path();
        fs::current_path(root_ + "/game");
    }
    void TearDown() override { fs::current_path(previous_); }

    std::string root_;
    fs::path previous_;
};

TEST_F(ScreenShotKey, WritesADatedBitmapOfTheWindowAndClearsTheKeys) {
    qx::eng->Render();
    Key(SDL_SCANCODE_A, true);
    Key(SDL_SCANCODE_PRINTSCREEN, true);
    Key(SDL_SCANCODE_PRINTSCREEN, false);
    EXPECT_FALSE(qx::inp->Down('A'));
    std::vector<fs::path> shots;
    for (const auto& entry : fs::directory_iterator(root_ + "/ScreenShots")) shots.push_back(entry.path());
    ASSERT_EQ(shots.size(), 1u);
    const std::string name = shots[0].filename().string();
    EXPECT_TRUE(std::regex_match(name, std::regex(R"(Nivora\d{1,2}-\d{1,2}-\d{4}-\d{1,2}-\d{1,2}-\d{1,2}-\d{1,3}\.bmp)")))
        << name;
    const uint64_t row = (static_cast<uint64_t>(qx::wnd->Width()) * 3 + 3) & ~3ull;
    EXPECT_EQ(fs::file_size(shots[0]), 54 + row * qx::wnd->Height());
    EXPECT_EQ(TimeSeparator, ":");
    EXPECT_EQ(DateSeparator, ".");
}

TEST_F(ScreenShotKey, AFolderThatCannotBeMadeIsLoggedAndWritesNothing) {
    std::ofstream(root_ + "/ScreenShots") << "a file in the folder's place";
    Key(SDL_SCANCODE_PRINTSCREEN, true);
    Key(SDL_SCANCODE_PRINTSCREEN, false);
    EXPECT_NE(TestLogText().find("Engine  : Error in ProcMessage\r\n"), std::string::npos);
    EXPECT_TRUE(fs::is_regular_file(root_ + "/ScreenShots"));
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(root_)) ++entries;
    EXPECT_EQ(entries, 2u); // the game folder and the file, nothing else
    EXPECT_EQ(TimeSeparator, ":");
    EXPECT_EQ(DateSeparator, ".");
}

} // namespace

// The engine root: the fixed-step loop driven by a scripted clock, procs that
// throw, quitting from inside an update, and the proc slots.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "tests/support/window.h"
#include "tests/test_support.h"

namespace {

// A scripted world: the clock only moves when a render advances it.
struct LoopScript {
    int32_t now = 100000;
    std::vector<int32_t> passLengths; // ms each rendered frame takes
    size_t pass = 0;
    std::vector<int> updatesPerPass;
    int updatesThisPass = 0;
    int quitAfterUpdates = -1;
    int totalUpdates = 0;
    bool resetTimerAfterFirstPass = false;
};

LoopScript* script = nullptr;

void ScriptUpdate() {
    ++script->updatesThisPass;
    ++script->totalUpdates;
    if (script->totalUpdates == script->quitAfterUpdates) qx::eng->Quit();
}

void ScriptRender() {
    script->updatesPerPass.push_back(script->updatesThisPass);
    script->updatesThisPass = 0;
    if (script->pass >= script->passLengths.size()) {
        qx::eng->Quit();
        return;
    }
    script->now += script->passLengths[script->pass++];
    if (script->resetTimerAfterFirstPass && script->pass == 1) qx::eng->ResetTimer();
}

// Each test gets a fresh engine (the quit flag is never cleared once set).
class EngineLoop : public testing::Test {
protected:
    void SetUp() override {
        qx::InitEngine(TestLogPath());
        script = &world;
        qx::eng->SetTimeSource([] { return script->now; });
        qx::eng->SetProc(qx::PROC_UPDATE, ScriptUpdate);
        qx::eng->SetProc(qx::PROC_RENDER, ScriptRender);
    }
    void TearDown() override { script = nullptr; }

    LoopScript world;
};

TEST_F(EngineLoop, RunsWholeStepsAndCarriesTheRemainder) {
    // The first pass runs one update before its first frame; a 35 ms pass then
    // gives three updates and carries 5 ms, so the next 5 ms pass runs one.
    world.passLengths = {35, 5, 9, 1};
    qx::eng->MainLoop(100);
    EXPECT_EQ(world.updatesPerPass, (std::vector<int>{1, 3, 1, 0, 1}));
}

TEST_F(EngineLoop, StepIsWholeMillisecondsOfTheRate) {
    // ups 60 gives 16 ms steps: 48 ms hold exactly three.
    world.passLengths = {48, 15, 1};
    qx::eng->MainLoop(60);
    EXPECT_EQ(world.updatesPerPass, (std::vector<int>{1, 3, 0, 1}));
}

TEST_F(EngineLoop, ResetTimerPreventsACatchUpBurst) {
    // A long pause (as while the window was inactive) followed by ResetTimer
    // does not replay the lost time.
    world.passLengths = {5000, 10};
    world.resetTimerAfterFirstPass = true;
    qx::eng->MainLoop(100);
    EXPECT_EQ(world.updatesPerPass, (std::vector<int>{1, 0, 1}));
}

TEST_F(EngineLoop, QuitInsideAnUpdateStopsTheRestOfThePass) {
    world.passLengths = {100, 100};
    world.quitAfterUpdates = 3;
    qx::eng->MainLoop(100);
    // Pass 1: one update, frame. Pass 2: updates 2 and 3, then quit: no more
    // catch-up and no frame.
    EXPECT_EQ(world.totalUpdates, 3);
    EXPECT_EQ(world.updatesPerPass, (std::vector<int>{1}));
    const std::string text = TestLogText();
    EXPECT_NE(text.find("Engine  : Main Loop start\r\n"), std::string::npos);
    EXPECT_NE(text.find("Engine  : Main Loop stop\r\n"), std::string::npos);
}

void ThrowingUpdate() {
    qx::inp->SetKey(65, true);
    throw std::runtime_error("boom");
}
void ThrowingRender() { throw 42; }
void ThrowingMessage(uint32_t, uint32_t, uint32_t) { throw std::runtime_error("message"); }
void ThrowingActive(bool) { throw std::runtime_error("active"); }

TEST_F(EngineLoop, AThrowingProcIsLoggedAndTheStepStillFinishes) {
    qx::eng->SetProc(qx::PROC_UPDATE, ThrowingUpdate);
    qx::eng->SetProc(qx::PROC_RENDER, ThrowingRender);
    qx::eng->SetProc(qx::PROC_MESSAGE, ThrowingMessage);
    qx::eng->SetProc(qx::PROC_ACTIVE, ThrowingActive);
    qx::eng->Update();
    // The failed update's step bookkeeping still ran: LastKey was cleared.
    EXPECT_EQ(qx::inp->LastKey(), -1);
    EXPECT_TRUE(qx::inp->Down(65));
    qx::eng->Render();
    qx::eng->CallMessageProc(0x100, 0, 0);
    qx::eng->CallActiveProc(true);
    const std::string text = TestLogText();
    for (const char* line : {"Engine  : Error in ProcUpdate\r\n", "Engine  : Error in ProcRender\r\n",
                             "Engine  : Error in ProcMessage\r\n", "Engine  : Error in ProcActive\r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}

int initCalls = 0;
int freeCalls = 0;
void CountInit() { ++initCalls; }
void CountFree() { ++freeCalls; }

TEST_F(EngineLoop, InitAndFreeProcsRunOnceAroundTheLoop) {
    initCalls = freeCalls = 0;
    qx::eng->SetProc(qx::PROC_INIT, CountInit);
    qx::eng->SetProc(qx::PROC_FREE, CountFree);
    world.passLengths = {10, 10};
    qx::eng->MainLoop(100);
    EXPECT_EQ(initCalls, 1);
    EXPECT_EQ(freeCalls, 1);
}

TEST_F(EngineLoop, SetProcIgnoresUnknownTypesAndMismatchedKinds) {
    initCalls = 0;
    qx::eng->SetProc(6, CountInit);                 // no such slot
    qx::eng->SetProc(qx::PROC_MESSAGE, CountInit);  // wrong kind of procedure
    qx::eng->SetProc(qx::PROC_UPDATE, nullptr);     // empties the slot
    qx::eng->Update();
    EXPECT_EQ(initCalls, 0);
    EXPECT_EQ(world.totalUpdates, 0);
}

// The loop waiting for messages while the window is inactive: each signal
// that asks a program to end wakes it, and it ends as a normal quit does
// (without running a step or drawing a frame for the time it was inactive).
TEST_F(EngineLoop, AQuitSignalWakesTheLoopWaitingWhileInactiveAndEndsIt) {
    for (const int quitSignal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(quitSignal));
        qx::InitEngine(TestLogPath());
        script = &world;
        world = LoopScript{};
        world.passLengths.assign(1000, 10);
        qx::eng->SetTimeSource([] { return script->now; });
        qx::eng->SetProc(qx::PROC_UPDATE, ScriptUpdate);
        qx::eng->SetProc(qx::PROC_RENDER, ScriptRender);
        freeCalls = 0;
        qx::eng->SetProc(qx::PROC_FREE, CountFree);
        ASSERT_TRUE(test_window::Open(64, 48));
        qx::eng->SetPauseInactive(true);
        test_window::Focus(false);
        ASSERT_FALSE(qx::wnd->Active());

        const auto started = std::chrono::steady_clock::now();
        std::thread sender([quitSignal] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            ::kill(::getpid(), quitSignal);
        });
        qx::eng->MainLoop(100);
        const auto waited = std::chrono::steady_clock::now() - started;
        sender.join();

        EXPECT_TRUE(qx::eng->Quitting());
        EXPECT_EQ(world.totalUpdates, 0);
        EXPECT_TRUE(world.updatesPerPass.empty());
        EXPECT_EQ(freeCalls, 1);
        // Woken by the signal, not by some other event long after it.
        EXPECT_LT(waited, std::chrono::seconds(3));
        EXPECT_NE(TestLogText().find("Engine  : Main Loop stop\r\n"), std::string::npos);
    }
    // The handlers were the loop's alone: the program's own are back.
    struct sigaction current{};
    ASSERT_EQ(sigaction(SIGTERM, nullptr, &current), 0);
    EXPECT_EQ(current.sa_handler, SIG_DFL);
    qx::InitEngine(TestLogPath());
}

TEST(Engine, VersionAndPackedColours) {
    EXPECT_STREQ(qx::TEng::Version(), "Quorvex 0.80");
    EXPECT_EQ(qx::PackRGBA(0x11, 0x22, 0x33, 0x44), 0x44332211u);
    EXPECT_EQ(qx::ColorBytes(0x44332211u), (std::array<uint8_t, 4>{0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(qx::WithAlpha(0x44332211u, 0x99), 0x99332211u);
    const qx::TRGB rgb = qx::MakeRGB(1, 2, 3);
    EXPECT_EQ(rgb.r + rgb.g * 10 + rgb.b * 100, 321);
}

// The modules that log at shutdown do so in the release order (textures, then
// the window), and the log, released last, closes after all of them.
TEST(Engine, GlobalsAreReleasedInTheShutdownOrder) {
    qx::InitEngine(TestLogPath());
    ASSERT_TRUE(test_window::Open(64, 48));
    const uint8_t texel[4] = {255, 255, 255, 255};
    const uint32_t texture = qx::tex->Create("ShutdownProbe", 4, GL_RGBA, 1, 1, texel, false, false, 0);
    ASSERT_NE(texture, 0u);
    qx::FreeEngine();
    EXPECT_EQ(qx::eng, nullptr);
    EXPECT_EQ(qx::log, nullptr);
    EXPECT_EQ(qx::tex, nullptr);
    EXPECT_EQ(qx::wnd, nullptr);
    const std::string log = TestLogText();
    const size_t unload = log.find("Texture : Unload #" + std::to_string(texture) + "\tShutdownProbe\r\n");
    const size_t destroy = log.find("Window  : Destroy main window\r\n");
    const std::string closeLine = "\"Quorvex 0.80\" log close\r\n";
    ASSERT_NE(unload, std::string::npos) << log;
    ASSERT_NE(destroy, std::string::npos) << log;
    EXPECT_LT(unload, destroy) << log;
    ASSERT_GE(log.size(), closeLine.size());
    EXPECT_EQ(log.substr(log.size() - closeLine.size()), closeLine) << log;
    qx::InitEngine(TestLogPath()); // the test main expects a live engine
}

TEST(Engine, CreationWidensAProcessorMaskToEveryProcessor) {
    cpu_set_t allowed;
    ASSERT_EQ(sched_getaffinity(0, sizeof allowed, &allowed), 0);
    if (CPU_COUNT(&allowed) < 2) GTEST_SKIP() << "one processor only";
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &allowed)) {
            CPU_SET(cpu, &one);
            break;
        }
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    qx::InitEngine(TestLogPath());
    cpu_set_t now;
    ASSERT_EQ(sched_getaffinity(0, sizeof now, &now), 0);
    EXPECT_GE(CPU_COUNT(&now), CPU_COUNT(&allowed));
    sched_setaffinity(0, sizeof allowed, &allowed);
}

} // namespace

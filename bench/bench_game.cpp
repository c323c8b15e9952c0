// Costs of the game scene against the 10 ms step: one update tick on a full
// board during a wave with thousands of particles, a click's two searches over
// a one-colour board, and one frame's CPU time in a real window.
#include <GL/gl.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <memory>

#include "app/scene.h"
#include "engine/engine.h"
#include "engine/fontman.h"
#include "game/game_scene.h"
#include "game/resources.h"
#include "presentation/text.h"

namespace {

class TQuietHost : public TGameHost {
public:
    std::string_view PlayerName() const override { return "^2Bench"; }
    void Tick() override {}
    void DrawBackground() override {
        qx::ogl->Clear(true, true, false);
        qx::ogl->Set2D(0, 0, static_cast<float>(ViewWidth()), static_cast<float>(ViewHeight()));
    }
    TScene* MenuScene() override { return nullptr; }
    void GameFinished() override {}
    TScoreRec BestRecord() const override { return {}; }
    void AddRecord(std::string_view, int32_t, int32_t, int32_t) override {}
    void SaveRecords() override {}
};

// A full board in mid-wave whose timers and particles never run out, so every
// measured tick does the same work: 200 vanishing cells aged, 3000 particles moved.
std::unique_ptr<TGameScene> StageWave(TQuietHost& host, int particles) {
    auto scene = std::make_unique<TGameScene>(host);
    SeedRandom(1);
    scene->NewGame(1);
    for (int c = 1; c <= scene->Columns; ++c)
        for (int r = 1; r <= scene->Rows; ++r) {
            scene->Board[c][r].State = TCellState::Vanish;
            scene->Board[c][r].Timer = 1e12 + r; // far from 10: no sparks, no end
        }
    scene->Busy = true;
    scene->WaveTimer = 1e12;
    for (int i = 0; i < particles; ++i) {
        scene->AddParticle(MakeVec(RandomStep(0, 1024, 1), RandomStep(0, 768, 1)),
                           MakeVec(RandomStep(-1, 1, 0.0001), RandomStep(-1, 1, 0.0001)), 0xFF8080FFu);
        scene->Particles[static_cast<size_t>(scene->ParticleCount)].Life = 1e12;
    }
    return scene;
}

void UpdateDuringWave(benchmark::State& state) {
    SetViewSize(1024, 768);
    TQuietHost host;
    auto scene = StageWave(host, static_cast<int>(state.range(0)));
    qx::inp->SetKey(qx::key::MouseLeft, true); // a held button is ignored while busy
    for (auto _ : state) {
        scene->Update();
        benchmark::DoNotOptimize(scene->ParticleCount);
    }
    state.counters["particles"] = scene->ParticleCount;
    qx::inp->Reset();
    scene.reset();
    CurrentScene = nullptr;
}
BENCHMARK(UpdateDuringWave)->Arg(3000)->Arg(10000)->Unit(benchmark::kMicrosecond);

void ClickOnOneColourBoard(benchmark::State& state) {
    SetViewSize(1024, 768);
    TQuietHost host;
    auto scene = std::make_unique<TGameScene>(host);
    scene->NewGame(1);
    for (auto _ : state) {
        for (int c = 1; c <= 10; ++c)
            for (int r = 1; r <= 20; ++r) scene->Board[c][r] = TCell{TCellState::Full, 1, 0};
        const Vec2 centre = AddVec(scene->CellPos(5, 10), MakeVec(16, 16));
        benchmark::DoNotOptimize(scene->CountGroup(static_cast<int32_t>(centre.x), static_cast<int32_t>(centre.y)));
        benchmark::DoNotOptimize(scene->RemoveGroup(static_cast<int32_t>(centre.x), static_cast<int32_t>(centre.y)));
    }
    scene.reset();
    CurrentScene = nullptr;
}
BENCHMARK(ClickOnOneColourBoard)->Unit(benchmark::kMicrosecond);

bool windowReady = false;

void RenderFrame(benchmark::State& state) {
    if (!windowReady) {
        state.SkipWithError("no window");
        return;
    }
    SetViewSize(0, 0);
    TQuietHost host;
    auto scene = StageWave(host, static_cast<int>(state.range(0)));
    // A mix of every look: full, fading, overflow.
    for (int c = 1; c <= 10; ++c)
        for (int r = 1; r <= 20; ++r) {
            TCell& cell = scene->Board[c][r];
            cell.State = (r % 3 == 0) ? TCellState::Full : (r % 3 == 1 ? TCellState::Vanish : TCellState::Error);
            cell.Timer = 5;
        }
    const bool finish = state.range(1) != 0;
    for (auto _ : state) {
        scene->Render();
        if (finish) glFinish(); // includes the software rasteriser's work
    }
    glFinish();
    scene.reset();
    CurrentScene = nullptr;
}
BENCHMARK(RenderFrame)->Args({0, 0})->Args({3000, 0})->Args({3000, 1})->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    qx::InitEngine("");
    // Run from the build folder: the game's images are in game/Images.
    if (::chdir("game") != 0) (void)0;
    qx::wnd->SetMode(false, 1024, 768, 32, 0);
    qx::ogl->Fonts()->LoadConfig("fonts.conf");
    windowReady = qx::wnd->Create("Nivora bench", false) && qx::wnd->Width() > 0;
    if (windowReady) {
        qx::wnd->ProcessMessages();
        LoadResources();
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    qx::FreeEngine();
    return 0;
}

// Cost of the backdrop scene: one update step of its 660 particles, and one
// frame under a real GL context (issuing the calls; and again waiting for the
// driver to finish drawing). Both must stay far below one 10 ms step.
//
// Run by hand; without a display use
//   xvfb-run -a -s "-screen 0 1024x768x24" ./bench_back_scene
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cstdio>

#include "engine/engine.h"
#include "presentation/back_scene.h"
#include "presentation/tools.h"

namespace {

void BM_BackSceneStep(benchmark::State& state) {
    SeedRandom(1);
    TBackScene scene({});
    for (auto _ : state) scene.Update();
    state.counters["particles"] = scene.Particles->ChildCount();
}
BENCHMARK(BM_BackSceneStep);

// One frame per iteration; waitEachFrame also waits for the driver to finish it.
void RunFrames(benchmark::State& state, bool waitEachFrame) {
    SeedRandom(1);
    TBackScene scene({});
    for (auto _ : state) {
        scene.Render();
        if (waitEachFrame) glFinish();
        else benchmark::ClobberMemory();
    }
    glFinish();
}

void BM_BackSceneFrame(benchmark::State& state) { RunFrames(state, false); }
BENCHMARK(BM_BackSceneFrame);

void BM_BackSceneFrameFinished(benchmark::State& state) { RunFrames(state, true); }
BENCHMARK(BM_BackSceneFrameFinished);

} // namespace

int main(int argc, char** argv) {
    qx::InitEngine("");
    if (!qx::wnd->Create("Nivora bench", false)) {
        std::fprintf(stderr, "no window: the frame benchmarks need a display\n");
        qx::FreeEngine();
        return 1;
    }
    qx::wnd->SetMode(false, 640, 480, 32, 0);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    qx::FreeEngine();
    return 0;
}

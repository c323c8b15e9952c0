// The renderer's ceiling for the two busiest scenes: the main menu over its
// night sky, and the game in mid-wave. The program opens the window the game
// opens (full screen at the desktop's mode, the same UI scale), loads the
// game's images through the texture manager and builds the real scenes. Then
// it draws, as fast as the renderer allows, either the quads a scene draws (the
// same textures, sizes, colours, blend modes and counts, read from the scene's
// own state) the efficient way, in vertex arrays with one draw call per
// texture and blend state ("probe"), or the scene itself through its own
// Render ("scene"). Both advance the background by one tick per 10 ms, as the
// game's loop does; the staged game stays frozen mid-wave.
//
//   frame_probe menu|game [probe|scene] [--seconds N] [--warmup N] [--shot FILE [--tick N]]
//
// Prints the frames of each second on stderr and, at the end, one line on
// stdout: scene, mode, window size, the median frames per second of the N whole
// seconds after the warm-up ones (2 unless given), and the process's CPU time
// per frame in ms over those seconds (steadier than the rate on a busy machine). --shot draws one frame of a fixed
// state (tick 1234 of the background, or --tick N) and writes it as a BMP instead: a build
// before and after a change to the drawing code must give the same bytes.
// Run from a folder holding the game's Images/ and fonts.conf (the build's
// game/ folder, or bench/frame_rates.sh's). Run by hand; nothing here is a test.
#include <GL/gl.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/clock.h"
#include "app/scene.h"
#include "engine/engine.h"
#include "engine/fontman.h"
#include "game/game_scene.h"
#include "game/resources.h"
#include "menus/game_menu.h"
#include "presentation/text.h"
#include "presentation/tools.h"

namespace {

using Clock = std::chrono::steady_clock;

// ---- Batches: quads sharing one texture and one blend mode ----

struct TVertex {
    float x, y;
    float u, v;
    float r, g, b, a;
};

struct TColor {
    float r = 1, g = 1, b = 1, a = 1;
};

TColor Unpacked(uint32_t packed, float alpha) {
    return {static_cast<float>(packed & 0xFF) / 255, static_cast<float>((packed >> 8) & 0xFF) / 255,
            static_cast<float>((packed >> 16) & 0xFF) / 255, alpha};
}

TColor Unpacked(uint32_t packed) { return Unpacked(packed, static_cast<float>(packed >> 24) / 255); }

struct TBatch {
    uint32_t texture = 0; // 0: untextured
    int32_t blend = qx::kBlendOff;
    std::vector<TVertex> vertices;
};

class TFrame {
public:
    void Clear() {
        used_ = 0;
        for (TBatch& batch : batches_) batch.vertices.clear();
    }

    // Later quads go to a batch of this texture and blend mode (a new one only when the state changes).
    void Use(uint32_t texture, int32_t blend) {
        if (used_ > 0 && batches_[used_ - 1].texture == texture && batches_[used_ - 1].blend == blend) return;
        if (used_ == batches_.size()) batches_.emplace_back();
        TBatch& batch = batches_[used_++];
        batch.texture = texture;
        batch.blend = blend;
    }

    // Corners from the top left, clockwise; texture (0,0) (1,0) (1,1) (0,1) unless given.
    void Quad(const Vec2 (&corners)[4], const TColor (&colors)[4], const float (&uv)[4][2] = kWholeTexture) {
        TBatch& batch = batches_[used_ - 1];
        for (int i = 0; i < 4; ++i)
            batch.vertices.push_back({static_cast<float>(corners[i].x), static_cast<float>(corners[i].y), uv[i][0],
                                      uv[i][1], colors[i].r, colors[i].g, colors[i].b, colors[i].a});
    }

    void Quad(const Vec2 (&corners)[4], const TColor& color) { Quad(corners, {color, color, color, color}); }

    void Rect(double x, double y, double w, double h, const TColor& color) {
        Quad({{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}}, color);
    }

    // Centred on (x, y), turned by angle degrees, as the scenes' turned quads.
    void Turned(double x, double y, double w, double h, double angle, const TColor& color) {
        const double radians = angle * M_PI / 180;
        const double c = std::cos(radians), s = std::sin(radians);
        const double hw = w / 2, hh = h / 2;
        const double corner[4][2] = {{-hw, -hh}, {hw, -hh}, {hw, hh}, {-hw, hh}};
        Vec2 turned[4];
        for (int i = 0; i < 4; ++i)
            turned[i] = {x + corner[i][0] * c - corner[i][1] * s, y + corner[i][0] * s + corner[i][1] * c};
        Quad(turned, color);
    }

    // A line of text in one font, markup colours applied, at whole pixels.
    void Text(int32_t fontId, const std::string& text, double x, double y, TColor color) {
        const qx::TFontData* font = qx::ogl->Fonts()->Font(fontId);
        if (!font) return;
        Use(font->Texture, qx::kBlendAlpha);
        const float side = static_cast<float>(font->TexSize);
        double pen = std::nearbyint(x);
        const double top = std::nearbyint(y);
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '^' && i + 1 < text.size()) {
                const char code = text[i + 1];
                if (code >= '0' && code <= '7') color = kPalette[code - '0'];
                i += 1;
                continue;
            }
            const auto c = static_cast<uint8_t>(text[i]);
            const float tx = static_cast<float>(c % 16) / 16.0f, ty = static_cast<float>(c / 16) / 16.0f;
            const float cx = static_cast<float>(font->Widths[c]), cy = static_cast<float>(font->Height);
            const float uv[4][2] = {{tx, 1 - ty}, {tx + cx / side, 1 - ty}, {tx + cx / side, 1 - ty - cy / side},
                                    {tx, 1 - ty - cy / side}};
            Quad({{pen, top}, {pen + cx, top}, {pen + cx, top + cy}, {pen, top + cy}}, {color, color, color, color}, uv);
            pen += cx;
        }
    }

    // One draw call per batch; the texture and blend state change only between batches.
    void Draw() const {
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        for (size_t i = 0; i < used_; ++i) {
            const TBatch& batch = batches_[i];
            if (batch.vertices.empty()) continue;
            if (batch.texture) qx::tex->Enable(batch.texture, 0);
            else qx::tex->Disable(0);
            qx::ogl->Blend(batch.blend);
            const TVertex* first = batch.vertices.data();
            glVertexPointer(2, GL_FLOAT, sizeof(TVertex), &first->x);
            glTexCoordPointer(2, GL_FLOAT, sizeof(TVertex), &first->u);
            glColorPointer(4, GL_FLOAT, sizeof(TVertex), &first->r);
            glDrawArrays(GL_QUADS, 0, static_cast<GLsizei>(batch.vertices.size()));
        }
        glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glDisableClientState(GL_VERTEX_ARRAY);
        qx::tex->Disable(0);
        qx::ogl->Blend(qx::kBlendOff);
    }

    size_t Quads() const {
        size_t count = 0;
        for (size_t i = 0; i < used_; ++i) count += batches_[i].vertices.size() / 4;
        return count;
    }
    size_t Batches() const { return used_; }

private:
    static constexpr float kWholeTexture[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    // The text markup's eight colours, as the font manager's palette.
    static constexpr TColor kPalette[8] = {{0, 0, 0, 1}, {1, 0, 0, 1}, {0, 1, 0, 1}, {1, 1, 0, 1},
                                           {0, 0, 1, 1}, {1, 0, 1, 1}, {0, 1, 1, 1}, {1, 1, 1, 1}};
    std::vector<TBatch> batches_;
    size_t used_ = 0;
};

// ---- The scenes' quads, from their own state ----

void AddNightSky(TFrame& frame, const TGameMenu& menu) {
    const double w = ViewWidth(), h = ViewHeight();
    const double t0 = menu.AnimTick;
    const TColor azure{0, 0.5f, 1, 1}, white{}, yellow{1, 1, 0, 1};
    frame.Use(res::Xlam, qx::kBlendAlpha);
    frame.Turned(w / 4, h / 2, 128, 128, t0, azure);
    frame.Turned(3 * w / 4, h / 2, 128, 128, -t0, azure);

    frame.Use(0, qx::kBlendAlpha);
    const TColor snow{220.f / 255, 220.f / 255, 1, 1}, black{0, 0, 0, 1};
    const auto gradient = [&](double y, double height, const TColor& top, const TColor& bottom) {
        frame.Quad({{0, y}, {w, y}, {w, y + height}, {0, y + height}}, {top, top, bottom, bottom});
    };
    gradient(0.8 * h, h / 5, snow, white);
    gradient(0.7 * h, h / 10, black, snow);

    frame.Use(res::Moon, qx::kBlendAlpha);
    frame.Turned(3 * w / 4, h / 4, 128, 128, 30 * std::sin(t0 / 60), white);
    frame.Use(res::WinterForestTree, qx::kBlendAlpha);
    frame.Turned(w / 5, 4 * h / 5, 128, 256, 0, white);
    frame.Turned(4 * w / 5, 4 * h / 5, -128, 256, 0, white);
    frame.Use(res::Logo, qx::kBlendAlpha);
    frame.Turned(w / 2, h / 5, 512, 128, 0, yellow);

    const std::string version = "^0Version 2.1.0";
    frame.Text(0, version, w - MarkupWidth(0, version) - 10, h - 16, white);

    frame.Use(res::Spark, qx::kBlendAdd);
    for (const TStar& star : menu.Sky.Stars) {
        const double t = (t0 / 100) * (star.Phase - 128) / 128;
        const float alpha = static_cast<float>(std::nearbyint((std::sin(t) + 1) * 255 / 2) / 255);
        frame.Turned(star.X + 5 * std::sin(t), star.Y + 5 * std::cos(t), 10, 10, 0, Unpacked(star.Color, alpha));
    }
    if (menu.ShowFPS) frame.Text(0, "FPS : " + std::to_string(qx::ogl->FPS()), 10, 10, white);
}

void AddMenu(TFrame& frame, const TGameMenu& menu) {
    const double width = ViewWidth();
    if (menu.Selected >= 0) {
        frame.Use(menu.BarTex, qx::kBlendAlpha);
        frame.Rect((width - menu.Width - 50) / 2, menu.RowTop(menu.Selected), menu.Width + 50, TMenu::kRowHeight,
                   {1, 1, 1, 0.2f});
    }
    for (int32_t i = 0; i < menu.Count(); ++i) {
        const TMenuItem& item = *menu.Item(i);
        const uint32_t color = !item.Enabled ? item.DisabledColor : i == menu.Selected ? menu.SelectColor : item.Color;
        const int32_t w = MarkupWidth(menu.Font, item.Caption);
        frame.Text(menu.Font, item.Caption, (width - w) / 2, menu.RowTop(i), Unpacked(color));
    }
}

void AddCursor(TFrame& frame, uint32_t texture) {
    const Vec2 at = GetCursor();
    frame.Use(texture, qx::kBlendAlpha);
    frame.Rect(at.x, at.y, 32, 32, {});
}

void AddBoard(TFrame& frame, const TGameScene& scene) {
    const auto cellColor = [&](const TCell& cell) {
        return cell.Color < scene.CellColors.size() ? scene.CellColors[cell.Color] : 0xFFFFFFFFu;
    };
    const auto fade = [](double t) { return static_cast<float>(std::clamp(std::nearbyint(t * 255 / 10), 0.0, 255.0) / 255); };
    const double side = TGameScene::kCellSize;
    for (int32_t c = 1; c <= scene.Columns; ++c)
        for (int32_t r = 1; r <= scene.Rows; ++r) {
            const TCell& cell = scene.Board[c][r];
            const Vec2 at = scene.CellPos(c, r);
            const double t = cell.Timer;
            const bool fading = (cell.State == TCellState::Vanish && t < 10) ||
                                (cell.State == TCellState::Error && t > 0 && t < 10);
            if (cell.State == TCellState::Full || (cell.State != TCellState::Empty && !fading && t >= 10)) {
                frame.Use(res::Cell, qx::kBlendAlpha);
                frame.Rect(at.x, at.y, side, side, Unpacked(cellColor(cell)));
            } else if (fading) {
                const bool vanish = cell.State == TCellState::Vanish;
                const float grey = vanish ? 0.4f : 0.5f;
                frame.Use(vanish ? res::CellClear : res::ErrorCell, qx::kBlendAlpha);
                frame.Rect(at.x, at.y, side, side, {grey, grey, grey, 0.8f});
                frame.Use(res::Cell, qx::kBlendAlpha);
                frame.Rect(at.x, at.y, side, side, Unpacked(cellColor(cell), fade(t)));
            } else if (cell.State == TCellState::Error) {
                frame.Use(res::ErrorCell, qx::kBlendAlpha);
                frame.Rect(at.x, at.y, side, side, {1, 1, 1, 0.5f});
            } else {
                frame.Use(res::CellClear, qx::kBlendAlpha);
                frame.Rect(at.x, at.y, side, side, {0.4f, 0.4f, 0.4f, 0.8f});
            }
        }
}

void AddSparks(TFrame& frame, const TGameScene& scene) {
    frame.Use(res::Spark, qx::kBlendAdd);
    for (int32_t i = 1; i <= scene.ParticleCount; ++i) {
        const TParticle& p = scene.Particles[static_cast<size_t>(i)];
        const float alpha = static_cast<float>(std::clamp(std::nearbyint(p.Life * 255), 0.0, 255.0) / 255);
        frame.Turned(p.Pos.x, p.Pos.y, 10, 10, p.Life * p.Vel.x, Unpacked(p.Color, alpha));
    }
}

void AddPanel(TFrame& frame, const TGameScene& scene, const TGameMenu& menu) {
    const auto block = [&](double top, const std::string& title, std::string_view name, int32_t score,
                           int32_t level, double seconds) {
        const TColor white{};
        frame.Text(0, "^7" + title, 25, top, white);
        frame.Text(0, "^7User : " + std::string(name), 25, top + 16, white);
        frame.Text(0, "^7Score : " + std::to_string(score), 25, top + 32, white);
        frame.Text(0, "^7Level : " + std::to_string(level), 25, top + 48, white);
        frame.Text(0, "^7Time : " + FloatText(0, 2, seconds), 25, top + 64, white);
    };
    block(25, "-=You=-", menu.PlayerName(), scene.Cur.Score, scene.Cur.Level, scene.Cur.Time / 100.0);
    block(121, "-=Top=-", scene.Best.Name, scene.Best.Score, scene.Best.Level, scene.Best.Time / 100.0);
}

void BuildProbeFrame(TFrame& frame, bool game, const TGameMenu& menu, const TGameScene& scene) {
    frame.Clear();
    AddNightSky(frame, menu);
    if (game) {
        AddBoard(frame, scene);
        AddSparks(frame, scene);
        AddPanel(frame, scene, menu);
    } else {
        AddMenu(frame, menu);
    }
    AddCursor(frame, res::Cursor);
}

// ---- The staged game: a fresh deal, its largest bottom-row group clicked,
// stopped when the wave has reached its middle and the first sparks fly ----

void StageWave(TGameScene& scene) {
    SeedRandom(7);
    scene.NewGame(0);
    int32_t bestColumn = 1, bestSize = 0;
    for (int32_t c = 1; c <= scene.Columns; ++c) {
        const int32_t size = scene.CountGroupAt(c, 1);
        if (size > bestSize) {
            bestSize = size;
            bestColumn = c;
        }
    }
    scene.Click(bestColumn, 1);
    const double middle = scene.WaveTimer / 2;
    for (int32_t tick = 0; tick < 1000 && scene.Busy && (scene.WaveTimer > middle || scene.ParticleCount == 0); ++tick)
        scene.Update();
    // A clock that never started: the panel's time stays 0.00, so a frame depends on the state alone.
    scene.SetClock(std::make_unique<TClock>());
}

// ---- Timing ----

// CPU time of the whole process (the driver's rasterising threads too), in milliseconds.
double ProcessCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double Median(std::vector<int32_t> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

struct TOptions {
    bool game = false;
    bool probe = true;
    int seconds = 10;
    int tick = 1234; // the background's tick of the --shot frame
    int warmup = 2; // whole seconds left out of the median: the driver compiles its shaders in the first frames
    std::string shot;
};

bool ParseOptions(int argc, char** argv, TOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "menu" || arg == "game") options.game = arg == "game";
        else if (arg == "probe" || arg == "scene") options.probe = arg == "probe";
        else if (arg == "--seconds" && i + 1 < argc) options.seconds = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--warmup" && i + 1 < argc) options.warmup = std::max(0, std::atoi(argv[++i]));
        else if (arg == "--tick" && i + 1 < argc) options.tick = std::atoi(argv[++i]);
        else if (arg == "--shot" && i + 1 < argc) options.shot = argv[++i];
        else return false;
    }
    return true;
}

// Opens the window as the game does: full screen at the desktop's mode, vertical sync off, the UI scale.
bool OpenGameWindow() {
    const DisplayMode desktop = DesktopMode();
    qx::ogl->SetAASamples(0);
    qx::ogl->Fonts()->LoadConfig("fonts.conf");
    if (!qx::wnd->Create("Nivora probe", true)) return false;
    qx::wnd->SetMode(true, desktop.width, desktop.height, desktop.bpp, desktop.freq);
    if (qx::wnd->Width() <= 0) return false;
    SetViewScale(ChooseUiScale(qx::wnd->Height(), std::getenv("NIVORA_SCALE")).Scale);
    qx::ogl->SetVSync(false);
    return true;
}

int Run(const TOptions& options) {
    SeedRandom(1);
    LoadResources();
    TGameMenu menu;
    TGameScene scene(menu);
    menu.SetGameScene(&scene);
    if (options.game) StageWave(scene);
    SetCursor(ViewWidth() / 2.0, ViewHeight() / 2.0);
    TScene& real = options.game ? static_cast<TScene&>(scene) : menu;

    if (!options.shot.empty()) {
        menu.AnimTick = options.tick;
        real.Render();
        const bool saved = qx::ogl->ScreenShot(options.shot);
        qx::ogl->Swap();
        return saved ? 0 : 1;
    }

    TFrame frame;
    std::vector<int32_t> perSecond;
    const auto start = Clock::now();
    auto secondStart = start;
    auto nextTick = start;
    int32_t frames = 0;
    int32_t warmup = options.warmup;
    int32_t measuredFrames = 0;
    double cpuStart = ProcessCpuMs();
    while (static_cast<int>(perSecond.size()) < options.seconds) {
        qx::wnd->ProcessMessages();
        for (const auto now = Clock::now(); nextTick <= now; nextTick += std::chrono::milliseconds(10)) menu.Tick();
        if (options.probe) {
            BuildProbeFrame(frame, options.game, menu, scene);
            qx::ogl->Clear(true, false, false);
            SetViewProjection();
            frame.Draw();
        } else {
            real.Render();
        }
        qx::ogl->Swap();
        ++frames;
        const auto now = Clock::now();
        if (now - secondStart >= std::chrono::seconds(1)) {
            if (warmup > 0) {
                if (--warmup == 0) cpuStart = ProcessCpuMs();
            } else {
                perSecond.push_back(frames);
                measuredFrames += frames;
            }
            std::fprintf(stderr, "%d\n", frames);
            frames = 0;
            secondStart = now;
        }
    }
    if (options.probe)
        std::fprintf(stderr, "%zu quads in %zu batches\n", frame.Quads(), frame.Batches());
    const double cpuPerFrame = measuredFrames > 0 ? (ProcessCpuMs() - cpuStart) / measuredFrames : 0;
    std::printf("%s %s %dx%d %.1f %.2f\n", options.game ? "game" : "menu", options.probe ? "probe" : "scene",
                qx::wnd->Width(), qx::wnd->Height(), Median(perSecond), cpuPerFrame);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    TOptions options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: frame_probe menu|game [probe|scene] [--seconds N] [--warmup N] [--shot FILE [--tick N]]\n");
        return 2;
    }
    qx::InitEngine("log.txt");
    int result = 1;
    if (OpenGameWindow()) {
        result = Run(options);
    } else {
        std::fprintf(stderr, "frame_probe: no window (it needs a display)\n");
    }
    CurrentScene = nullptr;
    qx::FreeEngine();
    return result;
}

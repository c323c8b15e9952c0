// The puzzle scene: rules, timing, drawing, and play by mouse, keys and gamepad.
#include "game/game_scene.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/engine.h"
#include "game/resources.h"
#include "presentation/text.h"

namespace {
constexpr int32_t kSparksPerCell = 15;
constexpr double kPanelX = 25;

// Alpha for a fade of t ticks out of 10, rounded as the drawing expects (halves to even).
uint8_t FadeAlpha(double t) { return static_cast<uint8_t>(std::clamp(std::nearbyint(t * 255 / 10), 0.0, 255.0)); }

void AddCellQuad(TQuadBatch& batch, const Vec2& pos, const TRGBA& rgba) {
    batch.AddQuad(pos.x, pos.y, TGameScene::kCellSize, TGameScene::kCellSize, rgba);
}

TRGBA Grey(float grey, float alpha) { return {grey, grey, grey, alpha}; }
} // namespace

TGameScene::TGameScene(TGameHost& host) : TScene("Game Scene"), Clock(std::make_unique<TClock>()), Host(&host) {
    Cur.Name = Host->PlayerName();
    Colors = 3;
    ParticleCount = 0;
    Columns = 10;
    Rows = 20;
    CellColors[1] = qx::PackRGBA(255, 128, 0, 255);
    CellColors[2] = qx::PackRGBA(128, 255, 0, 255);
    CellColors[3] = qx::PackRGBA(0, 128, 255, 255);
    // The board is flat 2-D: no depth, and quads of either winding must show.
    if (qx::wnd && qx::wnd->Width() > 0) {
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_CULL_FACE);
    }
    TickCount = 0;
    SettlePending = false;
    LineText.reserve(128);
    ValueText.reserve(64);
}

TGameScene::~TGameScene() { Host->SaveRecords(); }

void TGameScene::SetHost(TGameHost& host) {
    Host = &host;
    // The records must carry the name the panel shows, not the stand-in's.
    Cur.Name = Host->PlayerName();
}

void TGameScene::SetClock(std::unique_ptr<TClock> clock) {
    if (clock) Clock = std::move(clock);
}

// ---- The game as the menus drive it ----

void TGameScene::NewGame(int32_t fullBoard) {
    Best = Host->BestRecord();
    // A game abandoned through "New game" still shows as the best when it beat the table.
    if (Cur.Score > Best.Score) {
        Best.Score = Cur.Score;
        Best.Name = Cur.Name;
        Best.Level = Cur.Level;
    }
    // The deal's colours come from a generator of the game's own, seeded here
    // from the program's: the seed and the clicks are enough to replay the game.
    const uint64_t seed = RandomSeed();
    const bool standardBoard = Colors == kReplayColors && Columns == kReplayColumns && Rows == kReplayRows;
    Played.Start({seed, static_cast<uint8_t>((TickCount % 5 + 5) % 5), SettlePending, fullBoard > 0}, standardBoard);
    Clock->Stop();
    Deal(seed, fullBoard);
    ParticleCount = 0;
    Resume();
}

void TGameScene::Pause() {
    Clock->Stop();
    const double banked = static_cast<double>(Cur.Time) + std::nearbyint(Clock->Elapsed() * 100);
    Cur.Time = static_cast<int32_t>(std::clamp(banked, 0.0, double{std::numeric_limits<int32_t>::max()}));
    Clock->Reset();
    qx::inp->Reset();
    CurrentScene = Host->MenuScene();
}

void TGameScene::Resume() {
    Clock->Start();
    CurrentScene = this;
}

bool TGameScene::IsRunning() const { return Clock->IsRunning(); }

void TGameScene::Update() {
    Host->Tick();
    UpdateCursor();
    const TNavStep nav = Nav.Read();
    if (nav.dx != 0 || nav.dy != 0) StepCursor(nav.dx, nav.dy);
    if (qx::inp->Down(qx::key::Esc) || nav.Back) Pause();
    if (!IsRunning() && !GameOver) return;

    // While a wave runs the button flag is kept, so a button still held acts
    // when it ends; a key press then is over with its step and does nothing.
    const bool act = qx::inp->Down(qx::key::MouseLeft) || qx::inp->Pressed(qx::key::Space) || nav.Activate;
    if (act && !GameOver && !Busy) {
        const IntPoint at = RoundVec(GetCursor());
        const IntPoint cell = CellAt(at.x, at.y);
        if (Click(cell.x, cell.y) > 0) Played.Click(cell.x, cell.y);
        qx::inp->Reset(); // a held button acts once
    }

    MoveParticles();
    CountTick();
    Played.Tick();
    if (ClosingDue()) ClosingStep();
    if (SettleStep()) EndGame();
}

void TGameScene::ClosingStep() {
    if (CloseStep(Best) == TClosing::Finished) {
        Host->GameFinished();
        return;
    }
    // Random values are drawn in a fixed order, so a replay from one seed
    // matches: velocity x, velocity y, x position, red, green, blue.
    const double vx = RandomStep(-0.5, 0.5, 0.0001);
    const double vy = RandomStep(0, 1.5, 0.0001);
    const Vec2 pos = MakeVec(RandomStep(0, ViewWidth(), 0.1), 0);
    const auto red = static_cast<uint8_t>(100 + RandomInt(155));
    const auto green = static_cast<uint8_t>(100 + RandomInt(155));
    const auto blue = static_cast<uint8_t>(100 + RandomInt(155));
    AddParticle(pos, MakeVec(vx, vy), qx::PackRGBA(red, green, blue, 255));
}

// ---- Board geometry ----

Vec2 TGameScene::CellPos(int32_t c, int32_t r) const {
    const double width = ViewWidth();
    const double height = ViewHeight();
    return {width / 2 - (Columns / 2.0 - (c - 1)) * kCellSize, height - (r + 1.0) * kCellSize};
}

IntPoint TGameScene::CellAt(double px, double py) const {
    const double width = ViewWidth();
    const double height = ViewHeight();
    // Far-off pixels are pulled in first so the integer conversion stays defined;
    // a pixel that is not a number lands far off the board.
    const auto pullIn = [](double index) { return std::isnan(index) ? -1e6 : std::clamp(index, -1e6, 1e6); };
    const double column = pullIn(std::trunc((px - width / 2) / kCellSize + Columns / 2.0));
    const double row = pullIn(std::trunc((height - py) / kCellSize));
    return {static_cast<int32_t>(column) + 1, static_cast<int32_t>(row)};
}

void TGameScene::StepCursor(int32_t dx, int32_t dy) {
    const int32_t lastColumn = LastColumn();
    const int32_t lastRow = LastRow();
    if (lastColumn < 1 || lastRow < 1) return;
    // Whole cells from the top-left cell, floored, so a point left of or above
    // the board counts as outside (CellAt would give it the first column).
    const Vec2 corner = CellPos(1, lastRow);
    const Vec2 cursor = GetCursor();
    double column = std::floor((cursor.x - corner.x) / kCellSize) + 1;
    double row = lastRow - std::floor((cursor.y - corner.y) / kCellSize);
    if (column >= 1 && column <= lastColumn && row >= 1 && row <= lastRow) {
        column += dx;
        row -= dy;
    }
    // The clamp also takes a point that is not a number to a corner cell.
    const auto within = [](double index, int32_t last) {
        return std::isnan(index) ? 1 : static_cast<int32_t>(std::clamp(index, 1.0, static_cast<double>(last)));
    };
    const Vec2 target = CellPos(within(column, lastColumn), within(row, lastRow));
    SetCursor(target.x + kCellSize / 2.0, target.y + kCellSize / 2.0);
}

// ---- Clicks and the end ----

int32_t TGameScene::CountGroup(int32_t px, int32_t py) {
    const IntPoint cell = CellAt(px, py);
    return CountGroupAt(cell.x, cell.y);
}

int32_t TGameScene::RemoveGroup(int32_t px, int32_t py) {
    const IntPoint cell = CellAt(px, py);
    return RemoveGroupAt(cell.x, cell.y);
}

void TGameScene::EndGame() {
    Pause();
    CurrentScene = this;
    Overflow();
    Host->AddPlayedRecord(Cur.Name, Cur.Score, Cur.Level, Cur.Time, Played);
    Host->SaveRecords();
}

// ---- Particles ----

void TGameScene::AddParticle(const Vec2& pos, const Vec2& vel, uint32_t color) {
    if (ParticleCount >= kMaxParticles) return; // a full table drops the newcomer
    ParticleCount += 1;
    TParticle& particle = Particles[static_cast<size_t>(ParticleCount)];
    particle.Pos = pos;
    particle.Vel = vel;
    particle.Color = color;
    particle.Life = RandomStep(0.9, 1.2, 0.001);
}

void TGameScene::EmitSparks(int32_t c, int32_t r) {
    const uint8_t index = Board[c][r].Color;
    const uint32_t color = index < CellColors.size() ? CellColors[index] : qx::PackRGBA(255, 255, 255, 255);
    const Vec2 centre = AddVec(CellPos(c, r), MakeVec(16, 16));
    for (int32_t i = 0; i < kSparksPerCell; ++i) {
        const double vx = RandomStep(-1, 1, 0.0001);
        const double vy = RandomStep(-1, 1, 0.0001);
        AddParticle(centre, MakeVec(vx, vy), color);
    }
}

void TGameScene::MoveParticles() {
    for (int32_t i = 1; i <= ParticleCount; ++i) {
        TParticle& particle = Particles[static_cast<size_t>(i)];
        particle.Pos = AddVec(particle.Pos, particle.Vel);
        particle.Life -= 0.01;
    }
    // Going down, every slot above i is alive, so the last one can fill a dead slot.
    for (int32_t i = ParticleCount; i >= 1; --i) {
        if (Particles[static_cast<size_t>(i)].Life <= 0) {
            Particles[static_cast<size_t>(i)] = Particles[static_cast<size_t>(ParticleCount)];
            ParticleCount -= 1;
        }
    }
}

// ---- Drawing ----

TGameScene::TCellLook TGameScene::LookOf(const TCell& cell) const {
    const uint32_t color = cell.Color < CellColors.size() ? CellColors[cell.Color] : qx::PackRGBA(255, 255, 255, 255);
    const double t = cell.Timer;
    const TCellLook whole{1, {{{kCellLayer, GLColorOf(color)}, {}}}};
    // The coloured cell fading out over a grey one in its last t of 10 ticks.
    const auto fading = [&](TCellLayer under, float grey) {
        return TCellLook{2, {{{under, Grey(grey, 0.8f)}, {kFadeLayer, GLColorOf(qx::WithAlpha(color, FadeAlpha(t)))}}}};
    };
    switch (cell.State) {
    case TCellState::Full:
        return whole;
    case TCellState::Vanish:
        return t < 10 ? fading(kClearLayer, 0.4f) : whole;
    case TCellState::Error:
        if (t >= 10) return whole;
        if (t > 0) return fading(kErrorLayer, 0.5f);
        return {1, {{{kErrorLayer, Grey(1, 0.5f)}, {}}}};
    default: // empty, and any state the rules never produce
        return {1, {{{kClearLayer, Grey(0.4f, 0.8f)}, {}}}};
    }
}

void TGameScene::DrawBoard() {
    const int32_t lastColumn = LastColumn();
    const int32_t lastRow = LastRow();
    // One call per image (and per batch's worth of cells) instead of one per
    // cell, image by image; cells never overlap, so only the colours fading
    // over the grey must come after the rest.
    const uint32_t textures[kCellLayers] = {res::CellClear, res::ErrorCell, res::Cell, res::Cell};
    for (int32_t layer = 0; layer < kCellLayers; ++layer) {
        qx::tex->Enable(textures[layer], 0); // before adding: a full batch draws at once
        for (int32_t c = 1; c <= lastColumn; ++c) {
            for (int32_t r = 1; r <= lastRow; ++r) {
                const TCellLook look = LookOf(Board[c][r]);
                for (int32_t i = 0; i < look.Count; ++i)
                    if (look.Quads[i].first == layer) AddCellQuad(CellQuads, CellPos(c, r), look.Quads[i].second);
            }
        }
        CellQuads.Draw();
    }
}

void TGameScene::PanelLine(double y, std::string_view label, std::string_view value) {
    LineText.assign("^7");
    LineText.append(label);
    LineText.append(value);
    DrawText(0, LineText, kPanelX, y);
}

void TGameScene::PanelBlock(double top, std::string_view title, std::string_view name, int32_t score,
                            int32_t level, double seconds) {
    PanelLine(top, title, {});
    PanelLine(top + 16, "User : ", name);
    ValueText.clear();
    AppendIntText(ValueText, score, 0);
    PanelLine(top + 32, "Score : ", ValueText);
    ValueText.clear();
    AppendIntText(ValueText, level, 0);
    PanelLine(top + 48, "Level : ", ValueText);
    ValueText.clear();
    AppendFloatText(ValueText, 0, 2, seconds);
    PanelLine(top + 64, "Time : ", ValueText);
}

void TGameScene::DrawPanel() {
    PanelBlock(25, "-=You=-", Host->PlayerName(), Cur.Score, Cur.Level, Clock->Elapsed() + Cur.Time / 100.0);
    PanelBlock(121, "-=Top=-", Best.Name, Best.Score, Best.Level, Best.Time / 100.0);
}

void TGameScene::Render() {
    Host->DrawBackground();
    qx::ogl->Blend(qx::kBlendAlpha);
    DrawBoard();

    qx::tex->Enable(res::Spark, 0);
    qx::ogl->Blend(qx::kBlendAdd);
    for (int32_t i = 1; i <= ParticleCount; ++i) {
        const TParticle& particle = Particles[static_cast<size_t>(i)];
        const double alpha = std::clamp(std::nearbyint(particle.Life * 255), 0.0, 255.0);
        qx::SetGLColor(qx::WithAlpha(particle.Color, static_cast<uint8_t>(alpha)));
        DrawQuadRot(particle.Pos.x, particle.Pos.y, 10, 10, particle.Life * particle.Vel.x);
    }
    qx::ogl->Blend(qx::kBlendOff);

    glColor3f(1, 1, 1);
    qx::tex->Disable(0);
    DrawPanel();
    DrawCursor(res::Cursor);
}

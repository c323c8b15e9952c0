// A game scene on a 1024 x 768 view with a recording host and a hand-driven
// clock, plus helpers to stage boards and to click cells as a player would.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/scene.h"
#include "engine/engine.h"
#include "game/game_scene.h"
#include "game/replay.h"
#include "presentation/text.h"
#include "presentation/tools.h"

// A stopwatch whose counter moves only when the test says so.
class TManualClock : public TClock {
public:
    void Advance(double seconds) { Now += static_cast<int64_t>(seconds * static_cast<double>(GetFrequency())); }
    int64_t Now = 1000;

protected:
    int64_t Counter() const override { return Now; }
};

// Records what the game asks of the main menu and the records table.
class TRecordingHost : public TGameHost {
public:
    struct TAdded {
        std::string Name;
        int32_t Score, Level, Time;
    };

    std::string_view PlayerName() const override { return Profile; }
    void Tick() override { ++Ticks; }
    void DrawBackground() override { ++Backgrounds; }
    TScene* MenuScene() override { return Menu; }
    void GameFinished() override {
        ++Finished;
        CurrentScene = Menu;
    }
    TScoreRec BestRecord() const override { return Best; }
    void AddRecord(std::string_view name, int32_t score, int32_t level, int32_t time) override {
        Added.push_back({std::string(name), score, level, time});
    }
    // The record of the game is copied into room made beforehand, so keeping it allocates nothing.
    void AddPlayedRecord(std::string_view name, int32_t score, int32_t level, int32_t time,
                         const TReplayRecorder& played) override {
        AddRecord(name, score, level, time);
        *Played = played;
    }
    // The bytes of the last game added with its record.
    std::vector<uint8_t> PlayedBytes() const { return EncodeReplay(Played->Head(), Played->Clicks()); }
    void SaveRecords() override { ++Saves; }

    std::string Profile = "^2Tester";
    TScene* Menu = nullptr;
    TScoreRec Best;
    std::vector<TAdded> Added;
    std::unique_ptr<TReplayRecorder> Played = std::make_unique<TReplayRecorder>();
    int Ticks = 0, Backgrounds = 0, Finished = 0, Saves = 0;
};

class GameTest : public testing::Test {
protected:
    void SetUp() override {
        SetViewSize(1024, 768);
        SetCursor(0, 0);
        SeedRandom(12345);
        qx::inp->Reset();
        menu = std::make_unique<TScene>("Menu");
        host.Menu = menu.get();
        host.Added.reserve(8); // the recording itself must not count as a game allocation
        scene = std::make_unique<TGameScene>(host);
        auto manual = std::make_unique<TManualClock>();
        clock = manual.get();
        scene->SetClock(std::move(manual));
    }
    void TearDown() override {
        scene.reset();
        menu.reset();
        CurrentScene = nullptr;
        qx::inp->Reset();
        SetViewSize(0, 0);
    }

    // An empty board with the play clock running, as after NewGame but staged by hand.
    void StartEmpty() {
        scene->NewGame(0);
        for (auto& column : scene->Board)
            for (auto& cell : column) cell = TCell{};
        scene->TickCount = 1;
    }
    // An empty board whose game is over with the given score, its count-down due next tick.
    void StartClosing(int32_t score) {
        StartEmpty();
        scene->GameOver = true;
        scene->Cur.Score = score;
        scene->WaveTimer = 0;
    }
    void Put(int32_t c, int32_t r, uint8_t color, TCellState state = TCellState::Full) {
        scene->Board[c][r].State = state;
        scene->Board[c][r].Color = color;
        scene->Board[c][r].Timer = 0;
    }
    // Cells from the bottom up, one character per row: '.' empty, '1'..'3' a full cell of that colour.
    void Column(int32_t c, const std::string& cells) {
        for (size_t i = 0; i < cells.size(); ++i) {
            if (cells[i] == '.') Put(c, static_cast<int32_t>(i) + 1, 0, TCellState::Empty);
            else Put(c, static_cast<int32_t>(i) + 1, static_cast<uint8_t>(cells[i] - '0'));
        }
    }
    void PointAt(int32_t c, int32_t r) {
        const Vec2 corner = scene->CellPos(c, r);
        SetCursor(corner.x + 16, corner.y + 16);
    }
    // The left button held over cell (c, r) for one tick.
    void Click(int32_t c, int32_t r) {
        PointAt(c, r);
        qx::inp->SetKey(qx::key::MouseLeft, true);
        scene->Update();
    }
    void Ticks(int n) {
        for (int i = 0; i < n; ++i) scene->Update();
    }
    TCellState State(int32_t c, int32_t r) const { return scene->Board[c][r].State; }
    // The recorded game, replayed by the board's rules alone, gives the result the game added last.
    static void ExpectReplayGives(const TRecordingHost& host) {
        ASSERT_FALSE(host.Added.empty());
        ASSERT_TRUE(host.Played->Complete()) << "the game was not recorded";
        const TRecordingHost::TAdded& added = host.Added.back();
        TReplay replay;
        ASSERT_EQ(DecodeReplay(host.PlayedBytes(), replay), TReplayFault::Ok);
        const TReplayOutcome outcome = PlayReplay(replay);
        ASSERT_EQ(outcome.End, TReplayEnd::Ended) << ReplayEndName(outcome.End) << " at click " << outcome.ClickIndex;
        EXPECT_EQ(outcome.Score, added.Score);
        EXPECT_EQ(outcome.Level, added.Level);
        EXPECT_EQ(outcome.Ticks, host.Played->Ticks());
    }

    TRecordingHost host;
    std::unique_ptr<TScene> menu;
    std::unique_ptr<TGameScene> scene;
    TManualClock* clock = nullptr;
};

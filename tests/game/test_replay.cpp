// The record of a game and its replay: games played through the scene (with
// pauses, and one that inherits a pending row) replay to their result with the
// rules alone; the deal follows from its seed; the bytes survive a round trip,
// and damaged or forged bytes are refused with their fault, never read past.
#include <algorithm>

#include "tests/game/game_fixture.h"

namespace {

// The smallest clickable group's cell, scanning as a player's eye might; false when none.
bool SmallestGroupCell(TGameScene& scene, int32_t& column, int32_t& row) {
    int32_t best = 0;
    for (int32_t c = 1; c <= scene.Columns; ++c)
        for (int32_t r = 1; r <= scene.Rows; ++r) {
            const int32_t n = scene.CountGroupAt(c, r);
            if (n >= 3 && (best == 0 || n < best)) {
                best = n;
                column = c;
                row = r;
            }
        }
    return best > 0;
}

class ReplayTest : public GameTest {
protected:
    // Plays until the game has been added, clicking the smallest group every
    // seventh idle tick; pause(step) may pause the game (it is resumed at once
    // after ten ticks spent paused).
    template <typename PauseWhen>
    void PlayToTheEnd(PauseWhen pause) {
        for (int step = 0; host.Added.empty() && step < 200000; ++step) {
            if (pause(step)) {
                scene->Pause();
                Ticks(10); // a paused game does not tick
                scene->Resume();
            }
            int32_t c = 0, r = 0;
            const bool idle = !scene->Busy && !scene->SettlePending && !scene->GameOver;
            if (idle && step % 7 == 0) {
                ASSERT_TRUE(SmallestGroupCell(*scene, c, r)) << "no move left";
                Click(c, r);
                continue;
            }
            scene->Update();
        }
        ASSERT_EQ(host.Added.size(), 1u);
    }
};

TEST_F(ReplayTest, AGamePausedDuringWavesAndRowsReplaysToItsResult) {
    SeedRandom(77);
    scene->TickCount = 3;
    scene->NewGame(0);
    int pauses = 0;
    PlayToTheEnd([&](int) {
        const bool due = (scene->Busy || scene->SettlePending) && pauses < 6 && scene->Cur.Level % 2 == 0;
        pauses += due;
        return due;
    });
    EXPECT_EQ(pauses, 6);
    EXPECT_GE(host.Added[0].Level, 5);
    ExpectReplayGives(host);
}

// "New game" between the end of a wave and its row: the new game gets that
// row at its first settled pass, and its replay must know.
TEST_F(ReplayTest, ANewGameThatInheritsAPendingRowReplaysToItsResult) {
    SeedRandom(5);
    scene->NewGame(0);
    int32_t c = 0, r = 0;
    ASSERT_TRUE(SmallestGroupCell(*scene, c, r));
    Click(c, r);
    while (scene->Busy) scene->Update();
    ASSERT_TRUE(scene->SettlePending);
    scene->Pause();
    scene->NewGame(0);
    ASSERT_TRUE(scene->Played.Head().SettlePending);
    PlayToTheEnd([](int) { return false; });
    ExpectReplayGives(host);

    // Without the pending row the same clicks tell another story.
    TReplay replay;
    ASSERT_EQ(DecodeReplay(host.PlayedBytes(), replay), TReplayFault::Ok);
    replay.Start.SettlePending = false;
    const TReplayOutcome outcome = PlayReplay(replay);
    EXPECT_FALSE(outcome.End == TReplayEnd::Ended && outcome.Level == host.Added[0].Level &&
                 outcome.Score == host.Added[0].Score);
}

TEST_F(ReplayTest, TheDealAndItsRowsFollowFromTheSeedAlone) {
    scene->NewGame(0);
    TBoardRules rules;
    rules.Deal(scene->Played.Head().Seed, 0);
    for (int32_t c = 1; c <= 10; ++c)
        for (int32_t r = 1; r <= 20; ++r) {
            EXPECT_EQ(rules.Board[c][r].State, scene->Board[c][r].State);
            if (r < 8) {
                EXPECT_EQ(rules.Board[c][r].Color, scene->Board[c][r].Color) << c << "," << r;
            }
        }
    // Sparks and confetti draw from the program's generator, never the deal's.
    RandomInt(1000);
    scene->AddRow();
    rules.AddRow();
    for (int32_t c = 1; c <= 10; ++c) EXPECT_EQ(rules.Board[c][1].Color, scene->Board[c][1].Color);
    // Another seed, another deal.
    TBoardRules other;
    other.Deal(scene->Played.Head().Seed + 1, 0);
    int same = 0;
    for (int32_t c = 1; c <= 10; ++c)
        for (int32_t r = 1; r <= 7; ++r) same += other.Board[c][r].Color == rules.Board[c][r + 1].Color;
    EXPECT_LT(same, 60);
}

TEST(DealRandom, StaysInRangeAndUsesEveryValue) {
    TDealRandom random;
    random.Seed(1);
    int seen[3] = {};
    for (int i = 0; i < 3000; ++i) {
        const int32_t value = random.Pick(3);
        ASSERT_GE(value, 0);
        ASSERT_LT(value, 3);
        ++seen[value];
    }
    for (const int count : seen) EXPECT_GT(count, 900);
    EXPECT_EQ(random.Pick(1), 0);
}

// ---- Bytes ----

TReplayStart SomeStart() { return {0x0123456789ABCDEFull, 3, true, false}; }
const std::vector<TReplayClick> kClicks = {{0, 1, 1}, {1, 10, 20}, {300, 5, 7}, {20000, 2, 3}};

TEST(ReplayBytes, RoundTripKeepsEveryField) {
    const std::vector<uint8_t> bytes = EncodeReplay(SomeStart(), kClicks);
    TReplay replay;
    ASSERT_EQ(DecodeReplay(bytes, replay), TReplayFault::Ok);
    EXPECT_EQ(replay.Start.Seed, SomeStart().Seed);
    EXPECT_EQ(replay.Start.TickPhase, 3);
    EXPECT_TRUE(replay.Start.SettlePending);
    EXPECT_FALSE(replay.Start.FullBoard);
    ASSERT_EQ(replay.Clicks.size(), kClicks.size());
    for (size_t i = 0; i < kClicks.size(); ++i) {
        EXPECT_EQ(replay.Clicks[i].Tick, kClicks[i].Tick);
        EXPECT_EQ(replay.Clicks[i].Column, kClicks[i].Column);
        EXPECT_EQ(replay.Clicks[i].Row, kClicks[i].Row);
    }
    // Header, then per click the tick step (1, 1, 2 and 3 bytes) and the cell.
    EXPECT_EQ(bytes.size(), kReplayHeaderBytes + 2 + 2 + 3 + 4);
}

TEST(ReplayBytes, DamagedBytesAreRefusedWithTheirFault) {
    const std::vector<uint8_t> good = EncodeReplay(SomeStart(), kClicks);
    TReplay replay;
    for (size_t cut = 0; cut < good.size(); ++cut)
        EXPECT_NE(DecodeReplay(std::span(good).first(cut), replay), TReplayFault::Ok) << "cut at " << cut;
    EXPECT_EQ(DecodeReplay(std::span(good).first(good.size() - 1), replay), TReplayFault::Short);

    const auto changed = [&](size_t at, uint8_t value) {
        std::vector<uint8_t> bytes = good;
        bytes[at] = value;
        return DecodeReplay(bytes, replay);
    };
    EXPECT_EQ(changed(0, 2), TReplayFault::Version);
    EXPECT_EQ(changed(1, 4), TReplayFault::Field) << "an unknown flag";
    EXPECT_EQ(changed(2, 5), TReplayFault::Field) << "a tick phase of 5";
    EXPECT_EQ(changed(kReplayHeaderBytes + 1, 200), TReplayFault::Field) << "a cell off the board";
    EXPECT_EQ(changed(kReplayHeaderBytes + 2, 0), TReplayFault::Field) << "two clicks at one tick";
    EXPECT_EQ(changed(12, 0x10), TReplayFault::Clicks) << "4096 clicks announced";
    EXPECT_EQ(changed(11, 200), TReplayFault::Short) << "200 clicks announced, four there";

    std::vector<uint8_t> longer = good;
    longer.push_back(0);
    EXPECT_EQ(DecodeReplay(longer, replay), TReplayFault::Long);
    EXPECT_EQ(DecodeReplay(std::vector<uint8_t>(kMaxReplayBytes + 1, 1), replay), TReplayFault::Long);

    const std::vector<TReplayClick> late = {{static_cast<int32_t>(kMaxReplayTicks), 1, 1}};
    EXPECT_EQ(DecodeReplay(EncodeReplay(SomeStart(), late), replay), TReplayFault::Ticks);
    // A tick step of five LEB128 bytes.
    std::vector<uint8_t> wide = EncodeReplay(SomeStart(), {});
    wide[11] = 1;
    wide.insert(wide.end(), {0x80, 0x80, 0x80, 0x80, 0x01, 0});
    EXPECT_EQ(DecodeReplay(wide, replay), TReplayFault::Field);
}

TEST(ReplayBytes, Base64UrlRoundTripsAndRefusesWhatNoEncoderWrites) {
    std::vector<uint8_t> bytes, back;
    for (int length = 0; length < 7; ++length) {
        bytes.push_back(static_cast<uint8_t>(0xF8 + length)); // high bits exercise "-" and "_"
        const std::string text = Base64UrlEncode(bytes);
        EXPECT_EQ(text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
                  std::string::npos);
        ASSERT_TRUE(Base64UrlDecode(text, back, 100)) << text;
        EXPECT_EQ(back, bytes);
    }
    EXPECT_EQ(Base64UrlEncode(std::vector<uint8_t>{0xFB, 0xFF}), "-_8");
    EXPECT_FALSE(Base64UrlDecode("-_8=", back, 100)) << "padding";
    EXPECT_FALSE(Base64UrlDecode("+/8", back, 100)) << "the other alphabet";
    EXPECT_FALSE(Base64UrlDecode("-_9", back, 100)) << "bits left over";
    EXPECT_FALSE(Base64UrlDecode("AAAAA", back, 100)) << "a length no encoding has";
    EXPECT_FALSE(Base64UrlDecode("AAAAAAAA", back, 5)) << "more bytes than allowed";
}

// ---- Replaying ----

TEST_F(ReplayTest, AMovedClickOrAClickAfterTheEndDoesNotReplayToTheResult) {
    SeedRandom(2024);
    scene->NewGame(0);
    PlayToTheEnd([](int) { return false; });
    TReplay played;
    ASSERT_EQ(DecodeReplay(host.PlayedBytes(), played), TReplayFault::Ok);
    ASSERT_GE(played.Clicks.size(), 3u);

    int differed = 0;
    for (const int32_t move : {1, -1}) {
        TReplay moved = played;
        TReplayClick& click = moved.Clicks[1];
        click.Column = static_cast<uint8_t>(std::clamp(click.Column + move, 1, 10));
        if (click.Column == played.Clicks[1].Column) continue;
        const TReplayOutcome outcome = PlayReplay(moved);
        differed += outcome.End != TReplayEnd::Ended || outcome.Score != host.Added[0].Score ||
                    outcome.Level != host.Added[0].Level;
    }
    EXPECT_GE(differed, 1);

    TReplay later = played;
    later.Clicks.push_back({later.Clicks.back().Tick + 100000, 1, 1});
    EXPECT_EQ(PlayReplay(later).End, TReplayEnd::BadClick);
    TReplay cut = played;
    cut.Clicks.pop_back();
    EXPECT_EQ(PlayReplay(cut).End, TReplayEnd::Unfinished);
    TReplay early = played;
    early.Clicks[0].Tick += 1; // a click while the first wave runs starts nothing
    early.Clicks[1].Tick = early.Clicks[0].Tick + 1;
    EXPECT_EQ(PlayReplay(early).End, TReplayEnd::BadClick);
}

TEST(ReplayRecorder, AGameBeyondItsCapacityIsNotReplayable) {
    auto recorder = std::make_unique<TReplayRecorder>();
    recorder->Start(SomeStart(), true);
    for (size_t i = 0; i < kMaxReplayClicks; ++i) {
        recorder->Click(1, 1);
        recorder->Tick();
    }
    EXPECT_TRUE(recorder->Complete());
    recorder->Click(1, 1);
    EXPECT_FALSE(recorder->Complete());
    recorder->Start(SomeStart(), false);
    EXPECT_FALSE(recorder->Complete()) << "a board other than the standard one";
}

} // namespace

// What the game scene needs from the main menu and the records table: the
// player's name, the animated background, the scene Pause returns to, the end
// of a finished game, and the best, add and save operations of the records
// (a finished game's result arrives with the record of its play).
//
// The main menu implements TGameHost; tests put a recording host in its place.
// The sub-menus and the nickname entry reach the main menu through it as well,
// for its name, its background and its steps.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "game/replay.h"
#include "game/score_rec.h"

class TScene;

class TGameHost {
public:
    virtual ~TGameHost() = default;

    virtual std::string_view PlayerName() const = 0; // the profile name, colour code included
    virtual void Tick() = 0;                         // advances the background animation one step
    virtual void DrawBackground() = 0;               // covers the whole window (the game draws no clear)
    virtual TScene* MenuScene() = 0;                 // the scene Pause makes current; null: the console
    virtual void GameFinished() = 0;                 // the closing sequence is over
    virtual TScoreRec BestRecord() const = 0;        // rank 1 of the records table
    virtual void AddRecord(std::string_view name, int32_t score, int32_t level, int32_t time) = 0;
    // A finished game with the record of its play; a host that keeps no replays adds the result alone.
    virtual void AddPlayedRecord(std::string_view name, int32_t score, int32_t level, int32_t time,
                                 const TReplayRecorder& /*played*/) {
        AddRecord(name, score, level, time);
    }
    virtual void SaveRecords() = 0;                  // writes the records file
};

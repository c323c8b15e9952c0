// The nickname entry "InputScene": a panel greeting the player by the current
// profile name, two instruction lines revealed at 15 characters a second, and
// the text typed so far with a blinking underscore, over the host's background.
//
// Typed characters come from the scene layer's text input, which this scene
// starts when opened and stops when a name is accepted. Enter accepts three
// or more characters: markup is stripped, the name becomes "^2" + the text in
// the game and, through the rename handler, the main menu's profile (which
// rebuilds the menus). Esc returns to the host's menu scene with the old name.
// Gamepad buttons 0 and 1 act as Enter and Esc, so a player with only a
// gamepad gets past the greeting; typing stays the keyboard's.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/nav.h"
#include "app/scene.h"

class TGameHost;
class TGameScene;

class TInputScene : public TScene {
public:
    // Takes an accepted name (markup included) as the player's new profile.
    using TRename = std::function<void(const std::string& profile)>;

    // Joins the scene list as "InputScene"; Prepare. host gives the name, the
    // background and the scene to return to; host and game outlive the scene.
    TInputScene(TGameHost& host, TGameScene& game, TRename rename);

    void Open();    // current scene, counter back to 0, Prepare
    void Prepare(); // the greeting for the current profile; text input on with an empty text
    void Accept();  // Enter: takes the typed name when it is longer than two characters

    void Render() override;
    void Update() override;

    int32_t TickCount = 0;  // steps since opened: the reveal and the blink
    std::string Prompt;     // greeting and instructions, with markup and line breaks
    int32_t Shown = 0;      // characters of Prompt drawn; kept across openings
    int32_t PanelW = 448;
    int32_t PanelH = 80;

private:
    TGameHost& Host;
    TRename Rename;
    TGameScene& Game;
    std::string Line; // the input line being drawn
    TNav Nav;
};

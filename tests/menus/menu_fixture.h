// The menus as the program makes them (main menu, game scene, nickname entry)
// on the test window, in a fresh working folder of their own so that
// Settings.dat and Sys.rec are real files no other test sees; plus helpers
// that press keys and type text as a player does.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/scene.h"
#include "engine/engine.h"
#include "game/game_scene.h"
#include "menus/addition_menu.h"
#include "menus/game_menu.h"
#include "menus/input_scene.h"
#include "menus/record_menu.h"
#include "tests/support/window.h"
#include "tests/test_support.h"

class MenusTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test_window::GameWindow::Ready()) << "the test needs a display";
        previous_ = std::filesystem::current_path();
        folder_ = MakeTempDir();
        std::filesystem::current_path(folder_);
        Reset();
    }
    void TearDown() override {
        Free();
        if (!previous_.empty()) std::filesystem::current_path(previous_);
        Reset();
    }

    // The scenes in the program's order; the nickname entry is current.
    void Create() {
        menu = std::make_unique<TGameMenu>();
        game = std::make_unique<TGameScene>(*menu);
        menu->SetGameScene(game.get());
        const auto rename = [owner = menu.get()](const std::string& profile) { owner->Rename(profile); };
        input = std::make_unique<TInputScene>(*menu, *game, rename);
        menu->SetInputScene(input.get());
        CurrentScene = input.get();
    }
    // As the program ends: the game (its records save through the menu), then the menu (the settings).
    void Free() {
        input.reset();
        game.reset();
        menu.reset();
    }

    // The key held for one update step of the current scene.
    static void Press(int32_t code) {
        qx::inp->SetKey(code, true);
        AppUpdate();
        qx::inp->SetKey(code, false);
    }
    // Text typed on the keyboard, through the window as the system delivers it.
    static void Type(const std::string& utf8) { test_window::Text(utf8); }
    static void Backspace() { test_window::Tap(SDL_SCANCODE_BACKSPACE); }
    // Clicks the item of the menu with this caption (Enter on it).
    static void Choose(TMenu& target, const std::string& caption) {
        for (int32_t i = 0; i < target.Count(); ++i) {
            if (target.Item(i)->Caption == caption) {
                target.Item(i)->Click();
                return;
            }
        }
        ADD_FAILURE() << "no item " << caption << " in " << target.Name;
    }
    TMenuItem* Find(TMenu& target, const std::string& prefix) {
        for (int32_t i = 0; i < target.Count(); ++i)
            if (target.Item(i)->Caption.rfind(prefix, 0) == 0) return target.Item(i);
        return nullptr;
    }

    std::string folder_;
    std::unique_ptr<TGameMenu> menu;
    std::unique_ptr<TGameScene> game;
    std::unique_ptr<TInputScene> input;

private:
    static void Reset() {
        qx::inp->Reset();
        CurrentScene = nullptr;
        StopTextInput();
        InputText.clear();
    }
    std::filesystem::path previous_;
};

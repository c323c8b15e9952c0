// The program's scenes as CreateScenes makes them: the eight scenes in the
// console in their order, the nickname entry first, and FreeScenes writing the
// settings and the records.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/scene.h"
#include "engine/engine.h"
#include "tests/test_support.h"
#include "tests/support/window.h"

namespace fs = std::filesystem;

namespace {

TEST(Scenes, CreateScenesListsTheEightScenesInOrderAndAsksForTheNameFirst) {
    const fs::path previous = fs::current_path();
    const fs::path folder = MakeTempDir();
    fs::create_symlink(fs::path(NIVORA_GAME_DIR) / "Images", folder / "Images");
    fs::current_path(folder);
    qx::InitEngine(TestLogPath());
    const char* args[] = {"nivora"};
    {
        TApp app(1, args);
        app.CreateScenes();
        std::vector<std::string> names;
        for (int32_t i = 0; i < SceneList.Count(); ++i) names.push_back(static_cast<TScene*>(SceneList.Get(i))->Name);
        EXPECT_EQ(names, (std::vector<std::string>{"Menu", "Option", "Record", "OnLine", "Credits", "Game Scene",
                                                   "InputScene", "BackScene"}));
        ASSERT_NE(CurrentScene, nullptr);
        EXPECT_EQ(CurrentScene->Name, "InputScene");
        EXPECT_TRUE(TextInput);
        AppUpdate();
        AppRender();
        test_window::Key(SDL_SCANCODE_F10, true); // the console opens on the entry
        EXPECT_EQ(CurrentScene, nullptr);
        EXPECT_EQ(ConsoleSel, 6);
        test_window::Key(SDL_SCANCODE_F10, false);
        app.FreeScenes();
        EXPECT_EQ(SceneList.Count(), 0);
    }
    EXPECT_EQ(fs::file_size(folder / "Settings.dat"), 44u);
    EXPECT_EQ(fs::file_size(folder / "Sys.rec"), 960u);
    fs::current_path(previous);
}

} // namespace

// Scenes, the scene list and the developer console.
//
// Everything the game shows is a scene: a named object with Render and Update.
// Every scene joins SceneList when constructed and leaves it when destroyed.
// CurrentScene receives each update step and each frame; when it is null the
// console ("System menu") runs instead, listing every scene for the arrow keys
// and Enter. The same unit keeps the game-wide text input and the three
// procedures the application registers with the engine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/list.h"

class TScene {
public:
    explicit TScene(const std::string& name);
    virtual ~TScene();
    TScene(const TScene&) = delete;
    TScene& operator=(const TScene&) = delete;

    virtual void Render(); // the console's frame
    virtual void Update(); // the console's step

    std::string Name;
};

// The game-wide state of this unit. Everything here belongs to the main
// thread: the engine's procedures, the scenes and the console all run on it.
// SceneList: every scene that exists, in creation order. Starts empty; only
// TScene's constructor (Add) and destructor (Remove) change it.
extern TQuickList SceneList;
// The scene that gets each update step and frame; null: the console runs.
// Set by TApp::CreateScenes, by a scene handing control to another, by the
// console's Enter and F10; a scene that is destroyed while current clears it.
extern TScene* CurrentScene;
// Index in SceneList of the console's selection: the arrows move it, F10 sets
// it to the scene it interrupts.
extern int32_t ConsoleSel;
// Text input: StartTextInput and StopTextInput switch it; while it is on,
// AppMessage feeds each typed character to InputText through InputChar.
extern bool TextInput;
extern std::string InputText;

void StartTextInput(const std::string& text);
std::string StopTextInput();
[[nodiscard]] std::string GetInputText();
// Longest text InputChar builds: more than any name or console line needs.
constexpr size_t kMaxInputText = 255;
// Feeds one character message (code page 1251 byte in the low 8 bits) to the
// input text; characters past kMaxInputText are dropped.
void InputChar(uint32_t wParam);

// The console on its own, whatever scene is current.
void ConsoleUpdate();
void ConsoleRender();

// Writes "../ScreenShots/Nivora<date>-<time>.bmp" (an installed game: ScreenShots/ in the
// player's folder); throws when the folder cannot be made.
void TakeScreenShot();

// The engine procedures of the game.
void AppUpdate();
void AppRender();
void AppMessage(uint32_t msg, uint32_t wParam, uint32_t lParam);

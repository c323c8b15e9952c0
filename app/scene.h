// Scenes, the scene list and the developer console.
//
// Everything the game shows is a scene: a named object with Render and Update.
// Every scene joins SceneList when constructed and leaves it when destroyed.
// CurrentScene receives each update step and each frame; when it is null the
// console ("System menu") runs instead, listing every scene for the arrow keys
// and Enter. The same unit keeps the game-wide text input and the three
// procedures the application registers with the engine.
#pragma once

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

extern TQuickList SceneList;     // every scene that exists, in creation order
extern TScene* CurrentScene;     // null: the console runs
extern int32_t ConsoleSel;       // scene selected in the console
extern bool TextInput;           // typed characters are being collected
extern std::string InputText;    // the collected characters

void StartTextInput(const std::string& text);
std::string StopTextInput();
std::string GetInputText();
// Feeds one character message (code page 1251 byte in the low 8 bits) to the input text.
void InputChar(uint32_t wParam);

// The console on its own, whatever scene is current.
void ConsoleUpdate();
void ConsoleRender();

// Writes "../ScreenShots/Nivora<date>-<time>.bmp"; throws when the folder cannot be made.
void TakeScreenShot();

// The engine procedures of the game.
void AppUpdate();
void AppRender();
void AppMessage(uint32_t msg, uint32_t wParam, uint32_t lParam);

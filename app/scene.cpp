// Scenes, the console, text input and the application's engine procedures.
#include "app/scene.h"

#include <GL/gl.h>
#include <sys/stat.h>

#include <cmath>
#include <stdexcept>

#include "app/folders.h"
#include "engine/engine.h"
#include "presentation/text.h"
#include "presentation/tools.h"

TQuickList SceneList;
TScene* CurrentScene = nullptr;
int32_t ConsoleSel = 0;
bool TextInput = false;
std::string InputText;

namespace {

// Prints console lines from a running pen position.
class TLinePrinter {
public:
    void At(float x, float y) {
        x_ = x;
        y_ = y;
    }
    void Line(const std::string& text) {
        qx::ogl->TextOutEx(0, "^7" + text, std::round(x_), std::round(y_));
        y_ += 15;
    }

private:
    float x_ = 0, y_ = 0;
};
} // namespace

TScene::TScene(const std::string& name) : Name(name) { SceneList.Add(this); }

TScene::~TScene() {
    SceneList.Remove(this);
    if (CurrentScene == this) CurrentScene = nullptr;
}

void TScene::Render() { ConsoleRender(); }
void TScene::Update() { ConsoleUpdate(); }

void StartTextInput(const std::string& text) {
    TextInput = true;
    InputText = text;
}

std::string StopTextInput() {
    TextInput = false;
    return InputText;
}

std::string GetInputText() { return InputText; }

void InputChar(uint32_t wParam) {
    const auto c = static_cast<uint8_t>(wParam & 0xFF);
    if ((c >= 32 && c <= 63) || (c >= 65 && c <= 122) || c >= 192) {
        if (InputText.size() < kMaxInputText) InputText.push_back(static_cast<char>(c));
    } else if (wParam == '\b' && !InputText.empty()) {
        InputText.pop_back();
    }
}

void ConsoleUpdate() {
    if (qx::inp->Down(qx::key::Esc)) qx::eng->Quit();
    if (qx::inp->Down(qx::key::Up) && ConsoleSel < SceneList.Count() - 1) ++ConsoleSel;
    if (qx::inp->Down(qx::key::Down) && ConsoleSel > 0) --ConsoleSel;
    if (qx::inp->Down(qx::key::Enter) && ConsoleSel >= 0)
        CurrentScene = static_cast<TScene*>(SceneList.Get(ConsoleSel));
    qx::inp->Reset();
}

void ConsoleRender() {
    const auto width = static_cast<float>(ViewWidth());
    glClearColor(0, 0, 0, 0);
    qx::ogl->Clear(true, false, false);
    SetViewProjection();

    auto* selected = static_cast<TScene*>(ConsoleSel >= 0 && ConsoleSel < SceneList.Count()
                                              ? SceneList.Get(ConsoleSel)
                                              : nullptr);
    TLinePrinter printer;
    printer.At(10, 10);
    printer.Line("^1System menu");
    printer.Line("Concurs : None");
    printer.Line("AppName : Nivora");
    printer.Line("AppVer : 2.1.0");
    printer.Line("Author : the Nivora team");
    printer.Line("SelectScene : ^2" + qx::IntToStr(ConsoleSel) + " - ^3" + (selected ? selected->Name : ""));
    printer.Line("Scene Count : " + qx::IntToStr(SceneList.Count()));
    glColor3f(1, 1, 0);
    printer.Line("");
    for (int32_t i = 0; i < SceneList.Count(); ++i)
        printer.Line("^2" + qx::IntToStr(i) + " - ^3" + static_cast<TScene*>(SceneList.Get(i))->Name);

    printer.At(width - 200, 10);
    printer.Line("^2Time : " + TimeText(LocalTime()));
    printer.Line("^2Date : " + DateText(LocalDate()));
    printer.Line("^2FPS : " + qx::IntToStr(qx::ogl->FPS()));
}

void TakeScreenShot() {
    // Beside the game folder, or in the player's folder of an installed game.
    const std::string& folder = GameFolders().screenShots;
    if (!DirExists(folder) && ::mkdir(folder.c_str(), 0755) != 0)
        throw std::runtime_error("screenshot folder cannot be created");
    const std::string timeSeparator = TimeSeparator;
    const std::string dateSeparator = DateSeparator;
    // Screenshot names use dashes throughout, so they are valid file names.
    TimeSeparator.assign(1, '-');
    DateSeparator.assign(1, '-');
    const std::string name =
        folder + "Nivora" + DateText(LocalDate()) + "-" + TimeText(LocalTime()) + ".bmp";
    TimeSeparator = timeSeparator;
    DateSeparator = dateSeparator;
    qx::ogl->ScreenShot(name);
    qx::inp->Reset();
}

void AppUpdate() {
    if (CurrentScene) CurrentScene->Update();
    else ConsoleUpdate();
}

void AppRender() {
    if (CurrentScene) CurrentScene->Render();
    else ConsoleRender();
}

void AppMessage(uint32_t msg, uint32_t wParam, uint32_t /*lParam*/) {
    if (msg == qx::WM_KEYUP && wParam == qx::key::PrintScreen) {
        TakeScreenShot();
        return;
    }
    if (msg == qx::WM_SYSKEYDOWN && wParam == qx::key::F10 && CurrentScene) {
        ConsoleSel = SceneList.IndexOf(CurrentScene);
        CurrentScene = nullptr;
        return;
    }
    if (msg == qx::WM_CHAR && TextInput) InputChar(wParam);
}

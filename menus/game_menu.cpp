// The main menu, its sub-menus and the settings.
#include "menus/game_menu.h"

#include <GL/gl.h>

#include "engine/engine.h"
#include "game/game_scene.h"
#include "game/resources.h"
#include "menus/addition_menu.h"
#include "menus/input_scene.h"
#include "menus/online_menu.h"
#include "menus/record_menu.h"
#include "menus/stored_file.h"
#include "presentation/text.h"
#include "presentation/tools.h"

namespace {
const char* const kOnOff[2] = {"Off", "On"};
} // namespace

TGameMenu::TGameMenu()
    : TMenu("Menu", nullptr), Sky({res::Xlam, res::Moon, res::WinterForestTree, res::Logo, res::Spark}) {
    CursorTex = res::Cursor;
    BarTex = res::SelTex;
    FPSText.reserve(32);
    LoadSettings();
    Records.Load();
    InitStars();
    Build();
}

TGameMenu::~TGameMenu() { SaveSettings(); }

void TGameMenu::SetGameScene(TGameScene* game) { Game = game; }
void TGameMenu::SetInputScene(TInputScene* input) { Input = input; }

// ---- Menus ----

void TGameMenu::Build() {
    Clear();
    ResumeItem = AddItem("Resume game", false, [this](TMenuItem&) {
        if (Game) Game->Resume();
    });
    AddItem("New game", true, [this](TMenuItem&) {
        if (!Game) return;
        Game->NewGame(0);
        ResumeItem->Enabled = !Game->GameOver;
    });
    AddItem("Options", true, [this](TMenuItem&) { CurrentScene = OptionsMenu.get(); });
    AddItem("Records", true, [this](TMenuItem&) { CurrentScene = RecordsMenu.get(); });
    AddItem("Credits", true, [this](TMenuItem&) { CurrentScene = CreditsMenu.get(); });
    AddItem("Quit", true, [](TMenuItem&) { qx::eng->Quit(); });

    BuildOptions();

    RecordsMenu = std::make_unique<TRecordMenu>("Record", *this, *this, Records, Debug);
    RecordsMenu->AddItem("Send record", true, [this](TMenuItem&) { RecordsMenu->SendRecords(); });
    RecordsMenu->AddItem("Online Top", true, [this](TMenuItem&) { CurrentScene = OnlineMenu.get(); });
    RecordsMenu->AddItem("Back", true, [this](TMenuItem&) { CurrentScene = this; });

    OnlineMenu = std::make_unique<TOnLineMenu>("OnLine", *this, *this);
    OnlineMenu->AddItem("Refresh", true, [this](TMenuItem&) { OnlineMenu->RefreshTop(); });
    OnlineMenu->AddItem("Offline Top", true, [this](TMenuItem&) { CurrentScene = RecordsMenu.get(); });
    OnlineMenu->AddItem("Back", true, [this](TMenuItem&) { CurrentScene = this; });

    BuildCredits();
}

void TGameMenu::BuildOptions() {
    OptionsMenu = std::make_unique<TAdditionMenu>("Option", *this, *this);
    TAdditionMenu& options = *OptionsMenu;
    options.AddItem("Profile : " + Profile, true, [this](TMenuItem&) {
        if (Input) Input->Open();
    });
    const DisplayMode mode = DesktopMode();
    options.AddItem("Mode " + qx::IntToStr(mode.width) + "x" + qx::IntToStr(mode.height), false);
    options.AddItem("Bits pixel " + qx::IntToStr(mode.bpp), false);
    options.AddItem("Freg " + qx::IntToStr(mode.freq) + "Hz", false);
    // The caption shows what the GL object reports after the change, not what was asked.
    options.AddItem(std::string("VSync ") + kOnOff[qx::ogl->VSync()], true, [](TMenuItem& item) {
        qx::ogl->SetVSync(!qx::ogl->VSync());
        item.Caption = std::string("VSync ") + kOnOff[qx::ogl->VSync()];
    });
    options.AddItem(std::string("Show FPS ") + kOnOff[ShowFPS], true, [this](TMenuItem& item) {
        ShowFPS = !ShowFPS;
        item.Caption = std::string("Show FPS ") + kOnOff[ShowFPS];
    });
    options.AddItem(std::string("Active menu ") + kOnOff[ActiveMenu], true, [this](TMenuItem& item) {
        ActiveMenu = !ActiveMenu;
        item.Caption = std::string("Active menu ") + kOnOff[ActiveMenu];
    });
    options.AddItem("Back", true, [this](TMenuItem&) { CurrentScene = this; });
}

void TGameMenu::BuildCredits() {
    CreditsMenu = std::make_unique<TAdditionMenu>("Credits", *this, *this);
    struct TLine {
        const char* Text;
        uint32_t Color;
    };
    const uint32_t title = qx::PackRGBA(255, 0, 0, 230);
    const uint32_t thanks = qx::PackRGBA(192, 96, 192, 230);
    const TLine lines[] = {
        {"Nivora 2.1.0", title},
        {"Game design and code: the Nivora team", title},
        {"Engine: Quorvex 0.80", title},
        {"Night scene and cells drawn by our image generator", thanks},
        {"Thank you for playing", thanks},
        {"2025 - 2026", qx::PackRGBA(64, 255, 64, 230)},
    };
    for (const TLine& line : lines) CreditsMenu->AddItem(line.Text, false)->DisabledColor = line.Color;
    CreditsMenu->AddItem("Back", true, [this](TMenuItem&) { CurrentScene = this; });
}

void TGameMenu::Rename(const std::string& profile) {
    Profile = profile;
    Build();
}

// ---- Settings ----

void TGameMenu::LoadSettings() {
    TSettings settings{"^3" + UserName(), true, true};
    ReadSettingsFile(kSettingsFile, settings, &settingsUnread_); // the defaults stand for what it lacks
    loadedSettings_ = settings;
    Profile = settings.Profile;
    ShowFPS = settings.ShowFPS;
    ActiveMenu = settings.ActiveMenu;
}

void TGameMenu::SaveSettings() {
    TSettings current{Profile, ShowFPS, ActiveMenu};
    // A file that could not be read at start (held by another program, say)
    // may hold a nickname this run never saw: it is not replaced by the
    // defaults. Readable now, it keeps every value this run left alone.
    if (settingsUnread_) {
        TSettings stored = loadedSettings_;
        bool stillUnread = false;
        ReadSettingsFile(kSettingsFile, stored, &stillUnread);
        if (stillUnread) {
            LogStored("Settings: ", std::string(kSettingsFile) + " is kept as it is; these settings are not saved");
            return;
        }
        if (current.Profile == loadedSettings_.Profile) current.Profile = stored.Profile;
        if (current.ShowFPS == loadedSettings_.ShowFPS) current.ShowFPS = stored.ShowFPS;
        if (current.ActiveMenu == loadedSettings_.ActiveMenu) current.ActiveMenu = stored.ActiveMenu;
        settingsUnread_ = false;
    }
    WriteSettingsFile(kSettingsFile, current);
}

void TGameMenu::InitStars() { Sky.PlaceStars(); }

// ---- Drawing ----

void TGameMenu::DrawPanel(double x, double y, double width, double height) {
    qx::ogl->Blend(qx::kBlendAlpha);
    glColor4f(0.2f, 0.2f, 0.2f, 0.75f);
    qx::tex->Disable(0);
    DrawQuad(GL_QUADS, x, y, width, height);
}

void TGameMenu::DrawBackground() {
    Sky.Draw(AnimTick);
    if (ShowFPS) {
        glColor3f(1, 1, 1);
        FPSText.assign("FPS : ");
        AppendIntText(FPSText, qx::ogl->FPS(), 0);
        qx::ogl->TextOut(0, FPSText, 10, 10);
    }
}

void TGameMenu::Render() {
    DrawBackground();
    qx::ogl->Blend(qx::kBlendAlpha);
    TMenu::Render();
}

void TGameMenu::Update() {
    TMenu::Update();
    Tick();
}

// ---- The game host ----

void TGameMenu::Tick() {
    if (ActiveMenu) ++AnimTick;
}

void TGameMenu::GameFinished() {
    if (ResumeItem) ResumeItem->Enabled = false;
    CurrentScene = this;
}

TScoreRec TGameMenu::BestRecord() const { return Records.Best(); }

void TGameMenu::AddRecord(std::string_view name, int32_t score, int32_t level, int32_t time) {
    Records.Add(name, score, level, time);
}

void TGameMenu::AddPlayedRecord(std::string_view name, int32_t score, int32_t level, int32_t time,
                                const TReplayRecorder& played) {
    // A game that cannot be replayed (too many waves to record) keeps its result without a replay.
    Records.Add(name, score, level, time,
                played.Complete() ? EncodeReplay(played.Head(), played.Clicks()) : std::vector<uint8_t>{});
}

void TGameMenu::SaveRecords() { Records.Save(); }

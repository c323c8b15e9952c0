// The game's images.
#include "game/resources.h"

#include "app/folders.h"
#include "engine/engine.h"

namespace res {
uint32_t Cell = 0;
uint32_t Spark = 0;
uint32_t WinterForestTree = 0;
uint32_t Xlam = 0;
uint32_t ErrorCell = 0;
uint32_t CellClear = 0;
uint32_t Cursor = 0;
uint32_t Smoke = 0;
uint32_t Light = 0;
uint32_t Logo = 0;
uint32_t Back = 0;
uint32_t Moon = 0;
uint32_t SelTex = 0;
uint32_t Msg = 0;
uint32_t Snow = 0;
} // namespace res

namespace {
const char* const kImageFolder = "Images/";
const char* const kImageExt = ".tga";

// In the current folder, or the installed data folder.
std::string ImagePath(const std::string& fileName) { return GameFolders().data + kImageFolder + fileName; }

uint32_t LoadBitmap(const std::string& fileName) { return qx::tex->Load(ImagePath(fileName), false, true, 0); }
} // namespace

uint32_t LoadImage(const std::string& name) { return qx::tex->Load(ImagePath(name + kImageExt), false, true, 0); }

void LoadResources() {
    res::Cell = LoadImage("Cell");
    res::Spark = LoadImage("Spark");
    res::WinterForestTree = LoadImage("WinterForestTree");
    res::Xlam = LoadImage("Xlam");
    res::ErrorCell = LoadImage("ErrorCell");
    res::CellClear = LoadImage("CellClear");
    res::Cursor = LoadImage("Cursor");
    res::Smoke = LoadImage("Smoke");
    res::Light = LoadImage("Light");
    res::Logo = LoadImage("Logo");
    res::Back = LoadBitmap("Back.bmp");
    res::Moon = LoadBitmap("Moon.bmp");
    res::SelTex = LoadBitmap("SelTex.bmp");
    res::Msg = LoadBitmap("Msg.bmp");
    res::Snow = LoadBitmap("Snow.bmp");
}

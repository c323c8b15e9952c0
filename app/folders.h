// The game's folders: where it reads its data (Images/, fonts.conf) and where
// it keeps the player's files (log.txt, Settings.dat, Sys.rec, ScreenShots/).
//
// Two layouts, told apart by what lies beside the executable. The build
// folder (build/game/nivora with Images/ beside it) works in the current
// folder, as the game always has: data and the player's files there,
// screenshots in ../ScreenShots/. An installed game finds its data at the
// place the build configured relative to the executable (<prefix>/bin/nivora
// reads <prefix>/share/nivora/) and keeps the player's files in
// $XDG_DATA_HOME/nivora/ (~/.local/share/nivora/ when that is unset or not an
// absolute path), which becomes its current folder; screenshots go to
// ScreenShots/ there. An executable with neither layout behaves as in the
// build folder. File names and contents are the same in both layouts.
//
// The folders are chosen before the log opens (the log lives in them), so
// failures come back as a result and a reason text for the caller to show.
#pragma once

#include <string>

class TFolders {
public:
    enum class Layout { BuildFolder, Installed };

    Layout layout = Layout::BuildFolder;
    std::string data;                      // Images/ and fonts.conf: "" (current folder) or absolute, ending in '/'
    std::string user;                      // the player's files: "" (current folder) or absolute, ending in '/'
    std::string screenShots = "../ScreenShots/"; // relative to the current folder once Enter has run

    // Decides the layout from the executable's absolute path and the
    // environment's XDG_DATA_HOME and HOME (null when unset); dataFromBin is
    // the data folder relative to the executable's folder ("../share/nivora").
    // Reads the file system only to see which data folder holds Images/.
    static TFolders Choose(const std::string& executable, const std::string& dataFromBin, const char* xdgDataHome,
                           const char* home);
    // Choose for this process: /proc/self/exe, the environment, and the data
    // folder relative to the executable's that the build configured.
    static TFolders ForThisProgram(const std::string& dataFromBin);

    // Makes the player's folder (missing parts with mode 0700) and makes it the
    // current folder; nothing to do in the build-folder layout. False, with
    // the reason in error, when the folder cannot be made or entered.
    [[nodiscard]] bool Enter(std::string& error) const;
};

// The folders the program runs with: the build-folder layout until SetGameFolders.
const TFolders& GameFolders();
void SetGameFolders(const TFolders& folders);

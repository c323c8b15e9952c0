// The program entry.
#include <unistd.h>

#include <string>

#include "app/app.h"
#include "app/folders.h"
#include "app/scene.h"
#include "engine/engine.h"
#include "presentation/tools.h"

int main(int argc, char** argv) {
    // An installed game keeps the player's files in their own data folder; the
    // log opens there, so a folder that cannot be made is told without it.
    const TFolders folders = TFolders::ForThisProgram(NIVORA_DATA_FROM_BIN);
    std::string error;
    if (!folders.Enter(error)) {
        const std::string text = "Nivora cannot keep its files: " + error;
        // write(2) rather than stdio's stderr: the C library's stream object
        // would be copied into the program and exported with it.
        const std::string line = "nivora: " + text + "\n";
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
        qx::InitEngine("");
        qx::log->MsgBox("Nivora", text, qx::TLog::MB_OK | qx::TLog::MB_ICONERROR);
        qx::FreeEngine();
        return 1;
    }
    SetGameFolders(folders);
    qx::InitEngine("log.txt");
    SeedRandomFromClock();
    {
        TApp app(argc, argv);
        App = &app;
        app.CreateScenes();
        app.Run();
        app.FreeScenes();
        App = nullptr;
    }
    qx::FreeEngine();
    return 0;
}

// The program entry.
#include "app/app.h"
#include "app/scene.h"
#include "engine/engine.h"
#include "presentation/tools.h"

int main(int argc, char** argv) {
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

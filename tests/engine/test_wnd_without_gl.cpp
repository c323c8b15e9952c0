// The main window on an X server that offers no OpenGL at all: the window is
// made, the GL module reports which set-up step failed, and nothing is shown.
// A program of its own, as the engine's video starts once per process.
#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include <cstdlib>

#include "engine/engine.h"
#include "tests/test_support.h"

namespace {

TEST(WindowWithoutGL, GraphicsSetUpFailsInTheGLModuleAndLeavesTheWindowHidden) {
    std::string display;
    // Ends by itself once this process, its last client, has gone: the
    // window must outlive the test, up to the engine's shutdown.
    const pid_t server = StartXServer(display, {"-extension", "GLX", "-terminate"});
    ASSERT_GT(server, 0) << "needs Xvfb";
    setenv("DISPLAY", display.c_str(), 1);

    EXPECT_FALSE(qx::wnd->Create("Nivora test", false));
    EXPECT_TRUE(qx::wnd->Created());
    ASSERT_NE(qx::wnd->Handle(), nullptr);
    EXPECT_FALSE(qx::ogl->HasContext());
    EXPECT_FALSE(qx::inp->Captured()); // the set-up stopped before the mouse

    // Not shown, as the X server sees it.
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    ASSERT_TRUE(SDL_GetWindowWMInfo(qx::wnd->Handle(), &info));
    ASSERT_EQ(info.subsystem, SDL_SYSWM_X11);
    XWindowAttributes attributes{};
    ASSERT_NE(XGetWindowAttributes(info.info.x11.display, info.info.x11.window, &attributes), 0);
    EXPECT_EQ(attributes.map_state, IsUnmapped);

    const std::string log = TestLogText();
    const size_t created = log.find("Window  : Create main window\r\n");
    const size_t init = log.find("OpenGL  : Init graphics core\r\n");
    const size_t fatal = log.find("OpenGL  : Fatal Error \"ChoosePixelFormat\"\r\n");
    ASSERT_NE(created, std::string::npos) << log;
    ASSERT_NE(init, std::string::npos) << log;
    ASSERT_NE(fatal, std::string::npos) << log;
    EXPECT_LT(created, init);
    EXPECT_LT(init, fatal);
    EXPECT_EQ(log.find("CreateWindoEx"), std::string::npos) << log;
    EXPECT_EQ(log.find("GL_VENDOR"), std::string::npos) << log;
}

} // namespace

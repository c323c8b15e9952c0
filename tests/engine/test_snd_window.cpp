// The sound module with the window: the device opens with the window, and the
// music player's finished notice comes through the window's queue as the
// message that repeats looping music.
#include <gtest/gtest.h>

#include <vector>

#include "engine/engine.h"
#include "engine/sdl_internal.h"
#include "tests/support/window.h"
#include "tests/test_support.h"

using namespace test_window;

namespace {

std::vector<std::pair<uint32_t, uint32_t>> notices;
void Record(uint32_t msg, uint32_t wParam, uint32_t) {
    if (msg == qx::MM_MCINOTIFY) notices.emplace_back(msg, wParam);
}

class SoundWindow : public WindowTest {};

TEST_F(SoundWindow, TheDeviceOpensWithTheWindow) {
    EXPECT_TRUE(qx::snd->Initialized());
    const std::string log = TestLogText();
    const auto gl = log.find("OpenGL  : Init graphics core");
    const auto sound = log.find("Sound   : DirectSound Initialized\r\n");
    ASSERT_NE(sound, std::string::npos);
    EXPECT_LT(gl, sound);
    EXPECT_LT(sound, log.find("Sound   : Ogg Vorbis ready\r\n"));
}

TEST_F(SoundWindow, TheMusicFinishedEventReachesTheWindowProcedure) {
    qx::eng->SetProc(qx::PROC_MESSAGE, Record);
    SDL_Event event{};
    event.type = qx::SdlMusicEvent();
    Push(event);
    Step();
    qx::eng->SetProc(qx::PROC_MESSAGE, nullptr);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].second, qx::MCI_NOTIFY_SUCCESSFUL);
}

} // namespace

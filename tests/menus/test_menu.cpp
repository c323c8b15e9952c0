// The menu framework on the test window: selection by arrows over disabled
// items, the mouse band measured by the last frame, clicks that consume the
// step's keys, and Esc to the parent or out of the program.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <vector>

#include "menus/menu.h"
#include "presentation/text.h"
#include "tests/support/window.h"

namespace {

const bool installed = (test_window::GameWindow::Install(), true);

class MenuTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test_window::GameWindow::Ready()) << "the test needs a display";
        qx::inp->Reset();
        CurrentScene = nullptr;
    }
    void TearDown() override {
        SetViewScale(1);
        qx::inp->Reset();
        CurrentScene = nullptr;
    }
    // One update step with these keys held.
    static void Step(TMenu& menu, std::initializer_list<int32_t> keys = {}) {
        for (int32_t code : keys) qx::inp->SetKey(code, true);
        menu.Update();
    }
    // A menu of items whose enabled flags are given; each click is counted by index.
    void Fill(TMenu& menu, const std::vector<bool>& enabled) {
        for (size_t i = 0; i < enabled.size(); ++i)
            menu.AddItem("Item " + std::to_string(i), enabled[i], [this, i](TMenuItem&) { clicks.push_back(i); });
    }
    std::vector<size_t> clicks;
};

TEST_F(MenuTest, ArrowsSkipDisabledItemsAndWrapAround) {
    TMenu menu("Arrows", nullptr);
    Fill(menu, {false, true, false, true, false});
    EXPECT_EQ(menu.Selected, 1); // the first enabled item, not the disabled one before it
    Step(menu, {qx::key::Down});
    EXPECT_EQ(menu.Selected, 3);
    Step(menu, {qx::key::Down}); // past the disabled last item, round to the first enabled
    EXPECT_EQ(menu.Selected, 1);
    Step(menu, {qx::key::Up});
    EXPECT_EQ(menu.Selected, 3);
    Step(menu); // the flags were cleared: a held key acts once
    EXPECT_EQ(menu.Selected, 3);
    Step(menu, {qx::key::Enter});
    EXPECT_EQ(clicks, std::vector<size_t>{3});
}

TEST_F(MenuTest, ArrowsOverOnlyDisabledItemsEndAfterOneRound) {
    TMenu menu("Dark", nullptr);
    Fill(menu, {false, false, false});
    EXPECT_EQ(menu.Selected, -1);
    Step(menu, {qx::key::Down});
    Step(menu, {qx::key::Up});
    Step(menu, {qx::key::Enter}); // a disabled selection does not click
    EXPECT_TRUE(clicks.empty());
    TMenu empty("Empty", nullptr);
    Step(empty, {qx::key::Down, qx::key::Enter});
    EXPECT_EQ(empty.Selected, -1);
}

TEST_F(MenuTest, TheMouseBandIsMeasuredByTheLastFrame) {
    TMenu menu("Mouse", nullptr);
    Fill(menu, {true, true, true});
    const double centre = qx::wnd->Width() / 2.0;
    const double top = menu.RowTop(0);
    EXPECT_EQ(menu.Width, 0);
    EXPECT_EQ(menu.ItemAt(centre, top + 1), -1); // nothing is hit before the first frame

    menu.Render();
    int32_t widest = 0;
    for (int32_t i = 0; i < menu.Count(); ++i) widest = std::max(widest, MarkupWidth(menu.Font, menu.Item(i)->Caption));
    ASSERT_GT(widest, 0);
    EXPECT_EQ(menu.Width, widest + 50);
    const double half = menu.Width / 2;
    EXPECT_EQ(menu.ItemAt(centre, top + 1), 0);
    EXPECT_EQ(menu.ItemAt(centre, top - 31.9), 0); // truncated towards zero, not floored
    EXPECT_EQ(menu.ItemAt(centre, top - 32), -1);
    EXPECT_EQ(menu.ItemAt(centre, top + 3 * 32 - 0.1), 2);
    EXPECT_EQ(menu.ItemAt(centre, top + 3 * 32), -1);
    EXPECT_EQ(menu.ItemAt(centre + half - 0.01, top + 40), 1);
    EXPECT_EQ(menu.ItemAt(centre + half, top + 40), -1); // both edges are outside
    EXPECT_EQ(menu.ItemAt(centre - half, top + 40), -1);
}

TEST_F(MenuTest, TheMouseSelectsOnlyWhileItMoves) {
    TMenu menu("Follow", nullptr);
    Fill(menu, {true, true, true});
    menu.Render();
    SetCursor(qx::wnd->Width() / 2.0, menu.RowTop(2) + 5);
    Step(menu); // at rest over row 2
    EXPECT_EQ(menu.Selected, 0);
    qx::inp->AddMouseMotion(0, 1);
    qx::inp->Poll();
    Step(menu);
    qx::inp->ClearStep();
    EXPECT_EQ(menu.Selected, 2);
}

TEST_F(MenuTest, AClickOnARowConsumesEveryKeyOfTheStep) {
    TMenu menu("Click", nullptr);
    Fill(menu, {true, false, true});
    menu.Render();
    SetCursor(qx::wnd->Width() / 2.0, menu.RowTop(1) + 5); // the disabled row
    Step(menu, {qx::key::MouseLeft, qx::key::Down, qx::key::Enter, qx::key::Esc});
    EXPECT_TRUE(clicks.empty());
    EXPECT_EQ(menu.Selected, 0);
    EXPECT_FALSE(qx::eng->Quitting());
    SetCursor(qx::wnd->Width() / 2.0, menu.RowTop(2) + 5);
    Step(menu, {qx::key::MouseLeft, qx::key::Enter});
    EXPECT_EQ(clicks, std::vector<size_t>{2}); // once, by the click, not again by Enter
}

TEST_F(MenuTest, EscReturnsToTheParentWithItsSelectionAndQuitsFromTheRoot) {
    TMenu root("Root", nullptr);
    Fill(root, {true, true, true});
    root.Select(2);
    TMenu child("Child", &root);
    EXPECT_EQ(child.Font, root.Font);
    Fill(child, {true});
    CurrentScene = &child;
    Step(child, {qx::key::Esc});
    EXPECT_EQ(CurrentScene, &root);
    EXPECT_EQ(root.Selected, 2);
    EXPECT_FALSE(qx::eng->Quitting());
    Step(root, {qx::key::Esc});
    EXPECT_TRUE(qx::eng->Quitting());
}

// At scale 2 the captions are found in the frame itself, in device pixels;
// the mouse moved there (from the top-left corner, in device pixels) selects
// and clicks the row drawn there.
TEST_F(MenuTest, AtScaleTwoARowIsHitWhereItIsDrawn) {
    SetViewScale(2);
    TMenu menu("Scaled", nullptr);
    Fill(menu, {true, true, true});
    SetCursor(0, 0);
    glClearColor(0, 0, 0, 0);
    qx::ogl->Clear(true, false, false);
    SetViewProjection();
    menu.Render();
    // Runs of device rows with caption pixels, below the cursor in the corner.
    const test_window::TPicture frame = test_window::ReadFrame();
    std::vector<std::pair<int, int>> runs;
    for (int y = 80; y < frame.height; ++y) {
        const int lit = frame.Count(0, y, frame.width, y + 1, [](const uint8_t* p) { return p[0] + p[1] + p[2] > 300; });
        if (lit == 0) continue;
        if (!runs.empty() && runs.back().second == y) runs.back().second = y + 1;
        else runs.push_back({y, y + 1});
    }
    ASSERT_EQ(runs.size(), 3u) << "one run of caption pixels per row";
    const auto [top, bottom] = runs[2];
    EXPECT_GE(top, 2 * menu.RowTop(2));
    EXPECT_LE(bottom, 2 * (menu.RowTop(2) + TMenu::kRowHeight));

    // Each event as one step of the menu (the window's messages, the poll, the update).
    const auto step = [&](const SDL_Event& event) {
        test_window::Deliver(event);
        qx::inp->Poll();
        menu.Update();
        qx::inp->ClearStep();
    };
    qx::inp->MCapture(true);
    step(test_window::MotionEvent(frame.width / 2, (top + bottom) / 2));
    EXPECT_EQ(menu.Selected, 2);
    step(test_window::ButtonEvent(SDL_BUTTON_LEFT, true));
    step(test_window::ButtonEvent(SDL_BUTTON_LEFT, false));
    EXPECT_EQ(clicks, std::vector<size_t>{2});
}

} // namespace


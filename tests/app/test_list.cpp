// Pointer lists, counted objects, scenes joining and leaving the list, text
// input and the stopwatch.
#include <gtest/gtest.h>

#include <vector>

#include "app/clock.h"
#include "app/list.h"
#include "app/scene.h"
#include "engine/engine.h"
#include "tests/test_support.h"

namespace {

int Tag(int i) { return i; }
void* Ptr(intptr_t i) { return reinterpret_cast<void*>(i); }

std::vector<intptr_t> Contents(const TList& list) {
    std::vector<intptr_t> out;
    for (int32_t i = 0; i < list.Count(); ++i) out.push_back(reinterpret_cast<intptr_t>(list.Get(i)));
    return out;
}

TEST(List, GrowsAndKeepsOrderOnDelete) {
    TList list;
    for (intptr_t i = 1; i <= 20; ++i) EXPECT_EQ(list.Add(Ptr(i)), Tag(static_cast<int>(i - 1)));
    EXPECT_EQ(list.Capacity(), 28); // 4, 8, 12, then steps of 16 above 8
    list.Delete(0);
    EXPECT_EQ(reinterpret_cast<intptr_t>(list.Get(0)), 2);
    EXPECT_EQ(list.Count(), 19);
    EXPECT_EQ(list.IndexOf(Ptr(20)), 18);
    EXPECT_EQ(list.IndexOf(Ptr(99)), -1);
    EXPECT_EQ(list.Remove(Ptr(99)), nullptr);
}

TEST(List, BadIndicesAndCapacitiesAreLoggedAndHarmless) {
    TList list;
    list.Add(Ptr(1));
    EXPECT_EQ(list.Get(5), nullptr);
    EXPECT_EQ(list.Get(-1), nullptr);
    list.Delete(7);
    list.SetCapacity(0);            // below Count
    list.SetCapacity(134217728);    // above the limit
    EXPECT_EQ(Contents(list), (std::vector<intptr_t>{1}));
    const std::string text = TestLogText();
    EXPECT_NE(text.find("List index out of bounds (5)\r\n"), std::string::npos);
    EXPECT_NE(text.find("List index out of bounds (-1)\r\n"), std::string::npos);
    EXPECT_NE(text.find("List index out of bounds (7)\r\n"), std::string::npos);
    EXPECT_NE(text.find("List capacity out of bounds (0)\r\n"), std::string::npos);
    EXPECT_NE(text.find("List capacity out of bounds (134217728)\r\n"), std::string::npos);
}

TEST(QuickList, DeleteMovesTheLastEntryIntoTheHole) {
    TQuickList list;
    for (intptr_t i = 1; i <= 4; ++i) list.Add(Ptr(i));
    list.Delete(1);
    EXPECT_EQ(Contents(list), (std::vector<intptr_t>{1, 4, 3}));
    list.Remove(Ptr(3)); // the last entry itself
    EXPECT_EQ(Contents(list), (std::vector<intptr_t>{1, 4}));
}

struct Counted : TAccessObject {
    explicit Counted(bool* freed) : freed(freed) {}
    ~Counted() override { *freed = true; }
    bool* freed;
};

TEST(AccessObject, ReleaseFreesWhenTheCountWasOne) {
    bool freed = false;
    auto* object = new Counted(&freed);
    object->AddRef();
    object->AddRef();
    object->Release();
    EXPECT_FALSE(freed);
    object->Release();
    EXPECT_TRUE(freed);
}

TEST(Scenes, JoinInCreationOrderAndTheLastFillsAFreedPlace) {
    const int32_t before = SceneList.Count();
    auto a = std::make_unique<TScene>("A");
    auto b = std::make_unique<TScene>("B");
    auto c = std::make_unique<TScene>("C");
    auto d = std::make_unique<TScene>("D");
    EXPECT_EQ(SceneList.IndexOf(a.get()), before + 0);
    CurrentScene = b.get();
    b.reset();
    EXPECT_EQ(CurrentScene, nullptr); // a freed scene is never left current
    EXPECT_EQ(SceneList.Get(before + 1), d.get());
    EXPECT_EQ(SceneList.Get(before + 2), c.get());
}

TEST(TextInput, FiltersCharactersAndHandlesBackspace) {
    StartTextInput("");
    for (uint32_t c : {uint32_t{'a'}, uint32_t{'@'}, uint32_t{'b'}, uint32_t{'{'}, uint32_t{7}, uint32_t{0xC0},
                       uint32_t{0x1A5}})
        InputChar(c);
    // '@', '{' and the control character are refused; 0x1A5 is 0xA5 in the low byte: refused too.
    EXPECT_EQ(GetInputText(), "ab\xC0");
    InputChar(8);
    InputChar(8);
    InputChar(8);
    InputChar(8); // backspace on an empty text
    EXPECT_EQ(StopTextInput(), "");
    EXPECT_FALSE(TextInput);
}

TEST(Console, ArrowsMoveTheSelectionWithinTheListAndEnterPicksIt) {
    TScene first("first");
    TScene second("second");
    CurrentScene = nullptr;
    ConsoleSel = SceneList.IndexOf(&first);
    qx::inp->SetKey(qx::key::Up, true);
    for (int i = 0; i < SceneList.Count() + 3; ++i) {
        qx::inp->SetKey(qx::key::Up, true); // auto-repeat: one move per key-down message
        ConsoleUpdate();
    }
    EXPECT_EQ(ConsoleSel, SceneList.Count() - 1);
    EXPECT_FALSE(qx::inp->Down(qx::key::Up)); // each press acts once
    ConsoleSel = SceneList.IndexOf(&second);
    qx::inp->SetKey(qx::key::Enter, true);
    ConsoleUpdate();
    EXPECT_EQ(CurrentScene, &second);
    CurrentScene = nullptr;
}

TEST(Console, F10OpensItWithTheCurrentSceneSelected) {
    TScene scene("scene");
    CurrentScene = &scene;
    AppMessage(qx::WM_SYSKEYDOWN, qx::key::F10, 0);
    EXPECT_EQ(CurrentScene, nullptr);
    EXPECT_EQ(ConsoleSel, SceneList.IndexOf(&scene));
    ConsoleSel = 0;
    AppMessage(qx::WM_SYSKEYDOWN, qx::key::F10, 0); // already in the console: nothing happens
    EXPECT_EQ(ConsoleSel, 0);
}

// A stopwatch whose counter the test moves by hand.
class ManualClock : public TClock {
public:
    int64_t now = 1000;

protected:
    int64_t Counter() const override { return now; }
};

TEST(Clock, StoppedTimeDoesNotGrowAndStartMeasuresFromItsCall) {
    ManualClock clock;
    EXPECT_EQ(clock.Elapsed(), 0);
    const int64_t second = clock.GetFrequency();
    clock.now += 5 * second; // time before Start is never counted
    clock.Start();
    clock.now += 2 * second;
    EXPECT_DOUBLE_EQ(clock.Elapsed(), 2);
    clock.Stop();
    clock.now += 3 * second;
    EXPECT_DOUBLE_EQ(clock.Elapsed(), 2);
    clock.Reset();
    EXPECT_DOUBLE_EQ(clock.Elapsed(), 0);
    EXPECT_FALSE(clock.IsRunning());
}

} // namespace

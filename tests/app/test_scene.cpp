// Scenes joining and leaving the scene list, and the text input the scenes share.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/scene.h"

namespace {

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

TEST(TextInput, StopsAtTheLengthCap) {
    StartTextInput("");
    for (int i = 0; i < 300; ++i) InputChar('a');
    EXPECT_EQ(GetInputText(), std::string(kMaxInputText, 'a'));
    InputChar(8);
    InputChar('b');
    InputChar('c');
    EXPECT_EQ(StopTextInput(), std::string(kMaxInputText - 1, 'a') + "b");
}

} // namespace

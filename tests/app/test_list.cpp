// Pointer lists: growth, order, bad indices and capacities; counted objects.
#include <gtest/gtest.h>

#include <vector>

#include "app/list.h"
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

} // namespace

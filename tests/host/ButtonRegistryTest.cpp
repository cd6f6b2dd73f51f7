#include <gtest/gtest.h>

#include "host/ButtonRegistry.h"

namespace {

ToolbarButton* FakeButton(int n) {
    return reinterpret_cast<ToolbarButton*>(static_cast<intptr_t>(n * 16));
}

TEST(ButtonRegistry, FindsButtonsInInsertionOrderAndAfterRemovalFromTheMiddle) {
    ButtonRegistry registry;
    EXPECT_EQ(nullptr, registry.Find(1));
    ASSERT_EQ(1, registry.Add(10, FakeButton(1)));
    ASSERT_EQ(1, registry.Add(20, FakeButton(2)));
    ASSERT_EQ(1, registry.Add(30, FakeButton(3)));

    ASSERT_EQ(1, registry.Remove(20));
    ASSERT_EQ(2, registry.Count());
    EXPECT_EQ(10, registry.KeyAt(0));
    EXPECT_EQ(30, registry.KeyAt(1));
    EXPECT_EQ(FakeButton(1), registry.Find(10));
    EXPECT_EQ(nullptr, registry.Find(20));
    EXPECT_EQ(FakeButton(3), registry.Find(30));
}

TEST(ButtonRegistry, RemovingAnAbsentIdChangesNothing) {
    ButtonRegistry registry;
    EXPECT_EQ(0, registry.Remove(5));
    registry.Add(5, FakeButton(5));
    EXPECT_EQ(0, registry.Remove(6));
    EXPECT_EQ(1, registry.Count());
}

TEST(ButtonRegistry, EmptiedRegistryStartsAfresh) {
    ButtonRegistry registry;
    registry.Add(7, FakeButton(7));
    ASSERT_EQ(1, registry.Remove(7));
    EXPECT_EQ(0, registry.Count());
    EXPECT_EQ(nullptr, registry.Find(7));
    ASSERT_EQ(1, registry.Add(8, FakeButton(8)));
    EXPECT_EQ(FakeButton(8), registry.Find(8));
    EXPECT_EQ(1, registry.Count());
}

TEST(ButtonRegistry, FirstEqualKeyWins) {
    ButtonRegistry registry;
    registry.Add(4, FakeButton(1));
    registry.Add(4, FakeButton(2));
    EXPECT_EQ(FakeButton(1), registry.Find(4));
    registry.Remove(4);
    EXPECT_EQ(FakeButton(2), registry.Find(4));
}

} // namespace

#include "mainwindow/form4_layout.h"

#include <gtest/gtest.h>

namespace {

using tallyhive::Form4Layout;
using tallyhive::layoutForm4;

TEST(Form4Layout, ListAndColumnsGrowWithAWideWindow)
{
    const Form4Layout layout = layoutForm4(28800, 16200);
    EXPECT_EQ(layout.listWidth, 28470);
    EXPECT_EQ(layout.columnWidths, (std::array<int, 6>{4745, 5694, 5694, 5694, 5694, 0}));
    EXPECT_EQ(layout.listHeight, 13100);
}

TEST(Form4Layout, ControlsSitBelowTheListCentredLeftOfTheMiddle)
{
    const Form4Layout layout = layoutForm4(28800, 16200);
    const int left = 10455;
    const int right = 14415;
    EXPECT_EQ(layout.label1.left, left);
    EXPECT_EQ(layout.label1.top, 16200 - 2865);
    EXPECT_EQ(layout.label2.left, right);
    EXPECT_EQ(layout.checkAll.top, 16200 - 2505);
    EXPECT_EQ(layout.uncheckAll.left, right);
    EXPECT_EQ(layout.checkContaining.top, 16200 - 1995);
    EXPECT_EQ(layout.checkNotContaining.left, right);
    EXPECT_EQ(layout.clearList.left, left);
    EXPECT_EQ(layout.clearList.top, 16200 - 1485);
    EXPECT_EQ(layout.back.left, left);
    EXPECT_EQ(layout.back.top, 16200 - 975);
}

TEST(Form4Layout, DesignSizeGivesTheDesignPlaces)
{
    const Form4Layout layout = layoutForm4(tallyhive::Form4SmallestOuterWidth, tallyhive::Form4SmallestOuterHeight);
    EXPECT_EQ(layout.listWidth, 7800);
    EXPECT_EQ(layout.listHeight, 1860);
    EXPECT_EQ(layout.clearList.left, 120);
    EXPECT_EQ(layout.label2.left, 4080);
}

TEST(Form4Layout, TinyOrMinimisedWindowsKeepTheSmallestUsableLayout)
{
    const Form4Layout smallest = layoutForm4(tallyhive::Form4SmallestOuterWidth, tallyhive::Form4SmallestOuterHeight);
    for (const auto& [width, height] : {std::pair{0, 0}, std::pair{200, 3000}, std::pair{-15, -15}, std::pair{9000, 100}}) {
        const Form4Layout layout = layoutForm4(width, height);
        EXPECT_GE(layout.listWidth, smallest.listWidth);
        EXPECT_EQ(layout.listHeight, smallest.listHeight);
        EXPECT_GE(layout.label1.left, 0);
        EXPECT_GE(layout.label1.top, 0);
        for (int column : layout.columnWidths)
            EXPECT_GE(column, 0);
    }
}

}  // namespace

#include "mainwindow/form4_layout.h"

#include <algorithm>

namespace tallyhive {
namespace {
// Design sizes that the layout keeps.
constexpr int BlockWidth = 7800;  // "Clear List", "< Back", and the list at design size
constexpr int LabelWidth = 3840;
constexpr int ColumnGap = 120;
}  // namespace

Form4Layout layoutForm4(int outerWidth, int outerHeight)
{
    const int w = std::max(outerWidth, Form4SmallestOuterWidth);
    const int h = std::max(outerHeight, Form4SmallestOuterHeight);

    Form4Layout layout{};
    layout.listWidth = w - 330;
    layout.listHeight = h - 3100;
    const int list = layout.listWidth;
    layout.columnWidths = {list / 6, list / 5, list / 5, list / 5, list / 5, 0};

    const int left = (w / 2) - (BlockWidth / 2) - 45;
    const int right = left + LabelWidth + ColumnGap;
    layout.label1 = {left, h - 2865};
    layout.label2 = {right, h - 2865};
    layout.checkAll = {left, h - 2505};
    layout.uncheckAll = {right, h - 2505};
    layout.checkContaining = {left, h - 1995};
    layout.checkNotContaining = {right, h - 1995};
    layout.clearList = {left, h - 1485};
    layout.back = {left, h - 975};
    return layout;
}

}  // namespace tallyhive

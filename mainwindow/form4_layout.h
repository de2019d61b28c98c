#pragma once

#include <array>

namespace tallyhive {

// Where the larger list view's controls go for a given window size. All
// figures are twips; places are relative to the window's inside.
struct Form4Layout {
    struct Place {
        int left;
        int top;
    };
    int listWidth;
    int listHeight;
    std::array<int, 6> columnWidths;
    Place label1, label2;
    Place checkAll, uncheckAll;
    Place checkContaining, checkNotContaining;
    Place clearList, back;
};

// The window's design size (outer, frame included) at which the layout gives
// the design places. Smaller windows are laid out as if they had this size,
// so no size turns negative when the user shrinks or minimises the window.
inline constexpr int Form4SmallestOuterWidth = 8130;
inline constexpr int Form4SmallestOuterHeight = 4960;

// The list grows with the window; the block of labels and buttons stays
// below it, centred 45 twips left of the window's middle.
Form4Layout layoutForm4(int outerWidth, int outerHeight);

}  // namespace tallyhive

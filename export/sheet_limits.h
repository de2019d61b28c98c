#pragma once

#include <QtGlobal>

// The size of one worksheet in the workbook format the export produces, and
// the two checks against it that the refusal up front and the export itself share.
namespace tallyhive::sheet_limits {

inline constexpr int Rows = 1048576;  // the title row included
inline constexpr int Columns = 16384;

// List row j lands on sheet row j + 1, below the titles.
inline constexpr bool rowFits(int listRow) { return listRow < Rows; }

// A body of that many cells, starting in firstColumn, ends inside the sheet.
inline constexpr bool bodyFits(int firstColumn, qsizetype cells) { return firstColumn - 1 + cells <= Columns; }

}  // namespace tallyhive::sheet_limits

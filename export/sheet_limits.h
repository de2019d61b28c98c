#pragma once

// The size of one worksheet in the workbook format the export produces.
namespace tallyhive::sheet_limits {

inline constexpr int Rows = 1048576;  // the title row included
inline constexpr int Columns = 16384;

}  // namespace tallyhive::sheet_limits

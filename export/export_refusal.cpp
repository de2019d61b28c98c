#include "export/export_refusal.h"

#include "app/texts.h"
#include "export/body_pieces.h"
#include "export/sheet_limits.h"

namespace tallyhive {

std::optional<QString> exportRefusal(const platform::ListView& list, const EmailCollection& records)
{
    const int columns = list.columnCount();
    const int rows = list.rowCount();
    for (int row = 1; row <= rows; ++row) {
        if (!list.isChecked(row))
            continue;
        // List row j lands on sheet row j + 1, below the titles.
        if (row >= sheet_limits::Rows)
            return texts::ExportTooManyRows.arg(sheet_limits::Rows - 1);
        const EmailRecord* record = records.find(row);
        const QString body = record ? record->s_PlainText : QString();
        if (columns - 1 + body_pieces::cellCount(body) > sheet_limits::Columns)
            return texts::ExportBodyTooWide.arg(row);
    }
    return std::nullopt;
}

}  // namespace tallyhive

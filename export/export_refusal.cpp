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
        if (!sheet_limits::rowFits(row))
            return texts::ExportTooManyRows.arg(sheet_limits::Rows - 1);
        const EmailRecord* record = records.find(row);
        const QString body = record ? record->s_PlainText : QString();
        if (!sheet_limits::bodyFits(columns, static_cast<qsizetype>(body_pieces::cut(body).size())))
            return texts::ExportBodyTooWide.arg(row);
    }
    return std::nullopt;
}

}  // namespace tallyhive

#include "export/export_refusal.h"

#include "app/texts.h"
#include "export/body_pieces.h"
#include "export/sheet_limits.h"

namespace tallyhive {

std::optional<QString> exportRefusal(const platform::ListView& list)
{
    const int columns = list.columnCount();
    const int rows = list.rowCount();
    for (int row = 1; row <= rows; ++row) {
        if (!list.isChecked(row))
            continue;
        if (!sheet_limits::rowFits(row))
            return texts::ExportTooManyRows.arg(sheet_limits::Rows - 1);
        const PackedText& body = list.record(row).s_PlainText;
        // Only a body of millions of characters can come near the edge; only
        // then is it worth making its text to count its pieces exactly.
        if (sheet_limits::bodyFits(columns, body_pieces::mostPieces(body.size())))
            continue;
        if (!sheet_limits::bodyFits(columns, static_cast<qsizetype>(body_pieces::cut(body.text()).size())))
            return texts::ExportBodyTooWide.arg(row);
    }
    return std::nullopt;
}

}  // namespace tallyhive

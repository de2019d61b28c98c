#include "export/send_to_excel.h"

#include "app/general_date.h"
#include "app/locations.h"
#include "app/numbered_handler.h"
#include "app/pending_events.h"
#include "app/texts.h"
#include "export/body_pieces.h"
#include "export/export_error_extension.h"
#include "export/export_refusal.h"
#include "export/sheet_limits.h"

#include <optional>
#include <vector>

namespace tallyhive {
namespace {

// One run of the command. Other handlers may run at its event points and
// refill the list, so nothing read from it is held across those points
// except plain copies.
class SendToExcelRun {
public:
    SendToExcelRun(platform::ListView& list, platform::SpreadsheetFactory& spreadsheets, platform::MessageBoxes& boxes,
                   std::function<void(int, int)> rowReached)
        : list_(list), spreadsheets_(spreadsheets), boxes_(boxes),
          handler_(boxes, locations::SendToExcel), rowReached_(std::move(rowReached))
    {
        handler_.setExtension([this] { return rowExtension(); });
    }

    // False when no workbook could be made or written: the export stopped and
    // must not claim success.
    bool writeWorkbook()
    {
        std::optional<QString> refusal;
        handler_.step(106, [&] {
            refusal = exportRefusal(list_);
            if (!refusal)
                sheet_ = spreadsheets_.createApplication();
        });
        if (refusal)
            boxes_.show(*refusal, texts::AppTitle, platform::BoxIcon::Exclamation);
        if (!sheet_)
            return false;

        bool added = false;
        handler_.step(108, [&] {
            sheet_->addWorkbook();
            added = true;
        });
        if (!added)
            return false;
        handler_.step(110, [&] { sheet_->setVisible(true); });

        writeTitles();
        writeRows();

        bool written = false;
        handler_.step(180, [&] { sheet_->autoFitColumns(); });
        // Writing the file out completes the fit: only a written sheet exists.
        handler_.step(180, [&] {
            sheet_->finish();
            written = true;
        });
        return written;
    }

    void restoreWindow(const std::function<void()>& restore)
    {
        handler_.step(182, [&] {
            if (restore)
                restore();
        });
    }

    void showDone()
    {
        handler_.step(184, [&] { boxes_.show(texts::Done, texts::AppTitle, platform::BoxIcon::None); });
    }

private:
    void writeTitles()
    {
        int columns = 0;
        handler_.step(112, [&] { columns = list_.columnCount(); });
        for (int column = 1; column <= columns; ++column) {
            handler_.step(114, letPendingEventsRun);
            handler_.step(116, [&] {
                sheet_->setCell(1, column, list_.columnTitle(column), platform::CellQuote::None);
            });
        }
    }

    void writeRows()
    {
        int rows = 0;
        handler_.step(122, [&] { rows = list_.rowCount(); });
        for (int row = 1; row <= rows; ++row) {
            beginRow(row);
            if (rowReached_)
                rowReached_(row, rows);
            handler_.step(124, letPendingEventsRun);
            // A row removed by another command meanwhile is no longer checked.
            if (!handler_.test(126, [&] { return row <= list_.rowCount() && list_.isChecked(row); }))
                continue;
            // Only a row checked after the export began can lie beyond the sheet.
            if (!sheet_limits::rowFits(row)) {
                handler_.report(126, texts::ExportRowBeyondSheet.arg(row));
                break;
            }
            writeRow(row, row + 1);
        }
        currentRow_ = 0;
    }

    void writeRow(int row, int sheetRow)
    {
        int columns = 0;
        handler_.step(128, [&] { columns = list_.columnCount(); });
        for (int column = 1; column <= columns - 1; ++column) {
            handler_.step(130, letPendingEventsRun);
            if (row > list_.rowCount())
                return;
            const EmailRecord& record = list_.record(row);
            if (column == 1) {
                handler_.step(134, [&] { sheet_->setCell(sheetRow, 1, record.s_From, platform::CellQuote::None); });
            } else {
                handler_.step(162, [&] { writeText(record, sheetRow, column); });
            }
        }
        writeBody(row, sheetRow, columns);
    }

    // The list's own columns 2 and up lose every "="; the received date
    // goes as the date its text shows and the size as a number, so the
    // sheet can sort and reckon with them. A chosen column keeps its text
    // whole (a Message-ID may hold "="): the sheet keeps it as text.
    void writeText(const EmailRecord& record, int sheetRow, int column)
    {
        const RecordField field = list_.columnField(column);
        if (field == RecordField::Size) {
            sheet_->setNumber(sheetRow, column, record.size);
            return;
        }
        const QString text = record.fieldText(field);
        if (field >= RecordField::To) {
            sheet_->setCell(sheetRow, column, text, platform::CellQuote::None);
            return;
        }
        if (field == RecordField::ReceivedDate) {
            if (const auto shown = general_date::shownValue(record.receivedAt)) {
                sheet_->setDate(sheetRow, column, *shown, QString(text).remove(u'='));
                return;
            }
        }
        sheet_->setCell(sheetRow, column, QString(text).remove(u'='), platform::CellQuote::None);
    }

    void writeBody(int row, int sheetRow, int firstColumn)
    {
        body_ = row <= list_.rowCount() ? list_.record(row).s_PlainText.text() : QString();
        bodyStart_ = 0;
        bodyTaken_ = true;
        const std::vector<body_pieces::Piece> pieces = body_pieces::cut(body_);
        // Only a row checked after the export began can be refused here.
        if (!sheet_limits::bodyFits(firstColumn, static_cast<qsizetype>(pieces.size()))) {
            handler_.report(166, texts::ExportBodyCutShort.arg(row));
            return;
        }
        int column = firstColumn;
        for (const body_pieces::Piece& piece : pieces) {
            bodyStart_ = piece.start;
            const QStringView text = QStringView(body_).mid(piece.start, piece.length);
            const platform::CellQuote quote =
                body_pieces::needsQuote(text) ? platform::CellQuote::Quoted : platform::CellQuote::None;
            // The last piece, the remainder, is its own step. A body that fits
            // one cell, as nearly every one does, goes without a copy.
            const int line = &piece == &pieces.back() ? 174 : 168;
            const QString cell = text.size() == body_.size() ? body_ : text.toString();
            handler_.step(line, [&] { sheet_->setCell(sheetRow, column, cell, quote); });
            ++column;
        }
    }

    void beginRow(int row)
    {
        currentRow_ = row;
        bodyTaken_ = false;
        body_.clear();
        bodyStart_ = 0;
    }

    QStringView unwritten() const { return QStringView(body_).mid(bodyStart_); }

    // While a row is exported a report names its email and the part of the
    // body not yet written; outside the rows, or once the row is gone from
    // the list, it adds nothing.
    QString rowExtension() const
    {
        if (currentRow_ < 1 || currentRow_ > list_.rowCount())
            return QString();
        const EmailRecord& record = list_.record(currentRow_);
        return exportErrorExtension(record.s_Subject, bodyTaken_ ? unwritten().toString() : record.s_PlainText.text());
    }

    platform::ListView& list_;
    platform::SpreadsheetFactory& spreadsheets_;
    platform::MessageBoxes& boxes_;
    NumberedHandler handler_;
    std::function<void(int, int)> rowReached_;
    std::unique_ptr<platform::Spreadsheet> sheet_;

    int currentRow_ = 0;
    bool bodyTaken_ = false;
    QString body_;
    qsizetype bodyStart_ = 0;
};

}  // namespace

void SendToExcel(platform::ListView& list, platform::SpreadsheetFactory& spreadsheets, platform::MessageBoxes& boxes,
                 const std::function<void()>& restoreWindow, const std::function<void(int row, int rows)>& rowReached)
{
    SendToExcelRun run(list, spreadsheets, boxes, rowReached);
    const bool written = run.writeWorkbook();
    run.restoreWindow(restoreWindow);
    if (written)
        run.showDone();
}

}  // namespace tallyhive

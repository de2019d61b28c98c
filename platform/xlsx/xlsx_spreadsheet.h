#pragma once

#include "interfaces/spreadsheet.h"
#include "platform/xlsx/xlsx_export_file.h"
#include "platform/xlsx/xlsx_scratch_folder.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace tallyhive::platform {

// A spreadsheet written as an .xlsx workbook with one sheet. Every value is a
// text cell, except a date, which is a real date shown in the general date
// format. A quoted cell, and one
// whose text a spreadsheet would take for a formula or a signed number if
// typed in, gets the text number format, which keeps it text when the user
// edits or retypes it.
// Rows are streamed to disk as they are written, so they must come in
// ascending order. The file appears in the export folder only when finished.
class XlsxSpreadsheet : public Spreadsheet {
public:
    // Throws AppError when the export folder cannot be made or written to.
    // openWhenFinished: a visible workbook is opened once written.
    XlsxSpreadsheet(const QString& folder, const QDateTime& startedAt, bool openWhenFinished);
    // A workbook that was never finished leaves nothing behind.
    ~XlsxSpreadsheet() override;
    XlsxSpreadsheet(const XlsxSpreadsheet&) = delete;
    XlsxSpreadsheet& operator=(const XlsxSpreadsheet&) = delete;

    void addWorkbook() override;
    void setVisible(bool visible) override;
    void setCell(int row, int column, const QString& text, CellQuote quote) override;
    void setDate(int row, int column, const QDateTime& value, const QString& text) override;
    void setNumber(int row, int column, qint64 value) override;
    void autoFitColumns() override;
    // Writes the file, gives it its name and, when visible and configured
    // to, opens it with the desktop's application for it.
    void finish() override;

private:
    // The cell's name for error texts; throws when no sheet is open or the
    // cell lies outside it.
    void checkWritable(int row, int column) const;
    void noteWidth(int column, qsizetype characters);
    void discard();

    ExportFile file_;
    std::optional<ScratchFolder> scratch_;  // from addWorkbook until the workbook is written
    lxw_workbook* workbook_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;
    lxw_format* text_ = nullptr;
    lxw_format* dateTime_ = nullptr;
    lxw_format* dateOnly_ = nullptr;
    bool visible_ = false;
    bool openWhenFinished_;
    std::vector<qsizetype> longest_;  // per column, the longest text written
};

// Where workbooks go and what happens to them; told by whoever wires the
// program together.
struct WorkbookOptions {
    QString folder;                // made when missing; a workbook never replaces a file there
    bool openAfterWriting = true;  // false writes the workbook without opening it
};

// Each new spreadsheet is a new file in the export folder.
class XlsxSpreadsheetFactory : public SpreadsheetFactory {
public:
    explicit XlsxSpreadsheetFactory(WorkbookOptions options) : options_(std::move(options)) {}
    std::unique_ptr<Spreadsheet> createApplication() override;

private:
    WorkbookOptions options_;
};

}  // namespace tallyhive::platform

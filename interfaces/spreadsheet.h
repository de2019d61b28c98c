#pragma once

#include <QDateTime>
#include <QString>

#include <memory>

namespace tallyhive::platform {

// A text cell's quote prefix, kept apart from its text: what a spreadsheet
// user gets by typing "'" in front of an entry. A quoted cell holds its text
// as text, never as a formula or a number, also after the user edits it.
enum class CellQuote { None, Quoted };

// One export's spreadsheet, driven in the order the export uses. Each call
// either succeeds or throws tallyhive::AppError with a description.
class Spreadsheet {
public:
    virtual ~Spreadsheet() = default;
    virtual void addWorkbook() = 0;
    virtual void setVisible(bool visible) = 0;
    // 1-based row and column. The cell holds this text, never a formula; only
    // a character the workbook format cannot store becomes U+FFFD.
    virtual void setCell(int row, int column, const QString& text, CellQuote quote) = 0;
    // A real date and time, shown as the general date text `text` shows it;
    // only midnight is shown without a time.
    virtual void setDate(int row, int column, const QDateTime& value, const QString& text) = 0;
    // A whole number the sheet can sort and add up.
    virtual void setNumber(int row, int column, qint64 value) = 0;
    virtual void autoFitColumns() = 0;
    // Writes the workbook out and, when visible, opens it for the user.
    virtual void finish() = 0;
};

// "Create the application": one new spreadsheet per call. Throws AppError
// when none can be made.
class SpreadsheetFactory {
public:
    virtual ~SpreadsheetFactory() = default;
    virtual std::unique_ptr<Spreadsheet> createApplication() = 0;
};

}  // namespace tallyhive::platform

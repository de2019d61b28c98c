#pragma once

#include "platform/spreadsheet.h"

#include <QString>

#include <vector>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace tallyhive::platform {

// A spreadsheet written as an .xlsx workbook with one sheet. Every value is a
// text cell, except a date text in the "Received Date" column, which becomes
// a real date shown in the same general date format. Rows are streamed to
// disk as they are written, so they must come in ascending order.
class XlsxSpreadsheet : public Spreadsheet {
public:
    // path: an existing, empty file claimed for this workbook.
    explicit XlsxSpreadsheet(QString path);
    // A workbook that was never finished is discarded and its file removed.
    ~XlsxSpreadsheet() override;
    XlsxSpreadsheet(const XlsxSpreadsheet&) = delete;
    XlsxSpreadsheet& operator=(const XlsxSpreadsheet&) = delete;

    void addWorkbook() override;
    void setVisible(bool visible) override;
    // A text beginning with "'" is stored without it and marked quote-prefixed,
    // as a spreadsheet does with such an entry.
    void setCell(int row, int column, const QString& text) override;
    void autoFitColumns() override;
    // Writes the file and, when visible and configured to, opens it with the
    // desktop's application for it.
    void finish() override;

    QString path() const { return path_; }

private:
    void writeDate(int row, int column, const QString& text);
    void noteWidth(int column, qsizetype characters);
    void discard();

    QString path_;
    lxw_workbook* workbook_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;
    lxw_format* quoted_ = nullptr;
    lxw_format* dateTime_ = nullptr;
    lxw_format* dateOnly_ = nullptr;
    bool quotedUsed_ = false;
    bool visible_ = false;
    bool finished_ = false;
    std::vector<qsizetype> longest_;  // per column, the longest text written
};

// Each new spreadsheet is a new file in the export folder.
class XlsxSpreadsheetFactory : public SpreadsheetFactory {
public:
    std::unique_ptr<Spreadsheet> createApplication() override;
};

}  // namespace tallyhive::platform

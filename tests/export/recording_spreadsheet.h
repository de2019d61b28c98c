#pragma once

#include "interfaces/error.h"
#include "interfaces/spreadsheet.h"

#include <QString>
#include <QStringList>

#include <map>
#include <set>
#include <utility>

namespace tallyhive::testing {

// What the export asked of its spreadsheets, in order, and the cells that
// ended up written; failures can be planted at any call or cell.
struct SpreadsheetRecord {
    QStringList calls;  // "create", "addWorkbook", "visible", "cell r c", "autoFit", "finish"
    std::map<std::pair<int, int>, QString> cells;
    std::set<std::pair<int, int>> quoted;  // the cells written with a quote prefix
    std::set<std::pair<int, int>> numbers;  // the cells written as numbers
    std::set<std::pair<int, int>> failingCells;
    std::set<QString> failingCalls;  // any of the call names above but "cell"

    void maybeFail(const QString& call) const
    {
        if (failingCalls.count(call))
            throw AppError(QStringLiteral("%1 failed").arg(call));
    }
    // The cells of one sheet row, by column.
    std::map<int, QString> row(int sheetRow) const
    {
        std::map<int, QString> result;
        for (const auto& [at, text] : cells)
            if (at.first == sheetRow)
                result[at.second] = text;
        return result;
    }
};

class RecordingSpreadsheet : public platform::Spreadsheet {
public:
    explicit RecordingSpreadsheet(SpreadsheetRecord& record) : record_(record) {}
    void addWorkbook() override { note(QStringLiteral("addWorkbook")); }
    void setVisible(bool visible) override { note(visible ? QStringLiteral("visible") : QStringLiteral("hidden")); }
    void setCell(int row, int column, const QString& text, platform::CellQuote quote) override
    {
        record_.calls << QStringLiteral("cell %1 %2").arg(row).arg(column);
        if (record_.failingCells.count({row, column}))
            throw AppError(QStringLiteral("cell %1 %2 failed").arg(row).arg(column));
        record_.cells[{row, column}] = text;
        if (quote == platform::CellQuote::Quoted)
            record_.quoted.insert({row, column});
        else
            record_.quoted.erase({row, column});
    }
    void setDate(int row, int column, const QDateTime&, const QString& text) override
    {
        setCell(row, column, text, platform::CellQuote::None);
    }
    void setNumber(int row, int column, qint64 value) override
    {
        setCell(row, column, QString::number(value), platform::CellQuote::None);
        record_.numbers.insert({row, column});
    }
    void autoFitColumns() override { note(QStringLiteral("autoFit")); }
    void finish() override { note(QStringLiteral("finish")); }

private:
    void note(const QString& call)
    {
        record_.calls << call;
        record_.maybeFail(call);
    }
    SpreadsheetRecord& record_;
};

class RecordingSpreadsheetFactory : public platform::SpreadsheetFactory {
public:
    std::unique_ptr<platform::Spreadsheet> createApplication() override
    {
        record.calls << QStringLiteral("create");
        record.maybeFail(QStringLiteral("create"));
        return std::make_unique<RecordingSpreadsheet>(record);
    }
    SpreadsheetRecord record;
};

}  // namespace tallyhive::testing

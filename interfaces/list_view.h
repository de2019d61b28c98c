#pragma once

#include "interfaces/email_record.h"

#include <QString>

#include <functional>
#include <vector>

namespace tallyhive::platform {

// A column the user may show or hide, as a menu offers it.
struct ColumnChoice {
    QString title;
    bool shown = false;
};

// A report-style list with a check box in every row, each row showing one
// email record. Rows and columns count from 1; each column shows one field
// of the record (EmailRecord::fieldText, the day number reckoned).
class ListView {
public:
    virtual ~ListView() = default;

    // Puts a column before `column`; columnCount() + 1 appends it.
    virtual void insertColumn(int column, const QString& title, RecordField field) = 0;
    void addColumn(const QString& title, RecordField field) { insertColumn(columnCount() + 1, title, field); }
    virtual void removeColumn(int column) = 0;
    virtual RecordField columnField(int column) const = 0;
    virtual int columnCount() const = 0;
    virtual QString columnTitle(int column) const = 0;
    virtual void setColumnWidth(int column, int twips) = 0;
    virtual int columnWidth(int column) const = 0;

    // Appends a row that shows the record; returns the new row count.
    virtual int addRow(EmailRecord record) = 0;
    virtual int rowCount() const = 0;
    // The record row `row` shows; throws AppError for a row the list lacks.
    virtual const EmailRecord& record(int row) const = 0;
    // What the row shows in the column.
    virtual QString cellText(int row, int column) const = 0;
    virtual bool isChecked(int row) const = 0;
    virtual void setChecked(int row, bool checked) = 0;
    virtual void removeAllRows() = 0;
    virtual void redraw() = 0;
    virtual void setSortingEnabled(bool enabled) = 0;

    // Called when the user (not the program) ticks or unticks one row.
    virtual void setItemCheckHandler(std::function<void(int row)> handler) = 0;
    // A right click on the column titles offers what choices() gives, each
    // with its check mark; the one taken goes to chosen by its index.
    virtual void setColumnMenu(std::function<std::vector<ColumnChoice>()> choices, std::function<void(int index)> chosen) = 0;
};

}  // namespace tallyhive::platform

#pragma once

#include "interfaces/email_record.h"

#include <QString>

#include <functional>

namespace tallyhive::platform {

// A report-style list with a check box in every row, each row showing one
// email record. Rows and columns count from 1; columns 1 to 5 show the
// record's texts (EmailRecord::columnText), column 6 its received day number.
class ListView {
public:
    virtual ~ListView() = default;

    virtual void addColumn(const QString& title) = 0;
    virtual int columnCount() const = 0;
    virtual QString columnTitle(int column) const = 0;
    virtual void setColumnWidth(int column, int twips) = 0;
    virtual int columnWidth(int column) const = 0;

    // Appends a row that shows the record; returns the new row count.
    virtual int addRow(EmailRecord record) = 0;
    virtual int rowCount() const = 0;
    // The record row `row` shows; throws AppError for a row the list lacks.
    virtual const EmailRecord& record(int row) const = 0;
    // What the row shows in the column: empty past the sixth.
    virtual QString cellText(int row, int column) const = 0;
    virtual bool isChecked(int row) const = 0;
    virtual void setChecked(int row, bool checked) = 0;
    virtual void removeAllRows() = 0;
    virtual void redraw() = 0;
    virtual void setSortingEnabled(bool enabled) = 0;

    // Called when the user (not the program) ticks or unticks one row.
    virtual void setItemCheckHandler(std::function<void(int row)> handler) = 0;
};

}  // namespace tallyhive::platform

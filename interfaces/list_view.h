#pragma once

#include <QString>

#include <functional>

namespace tallyhive::platform {

// A report-style list with a check box in every row. Rows and columns count
// from 1; column 1 is the row's text, columns 2 and up its sub-items.
class ListView {
public:
    virtual ~ListView() = default;

    virtual void addColumn(const QString& title) = 0;
    virtual int columnCount() const = 0;
    virtual QString columnTitle(int column) const = 0;
    virtual void setColumnWidth(int column, int twips) = 0;
    virtual int columnWidth(int column) const = 0;

    // Appends a row whose text is the given one; returns the new row count.
    virtual int addRow(const QString& text) = 0;
    virtual int rowCount() const = 0;
    virtual QString cellText(int row, int column) const = 0;
    virtual void setCellText(int row, int column, const QString& text) = 0;
    virtual bool isChecked(int row) const = 0;
    virtual void setChecked(int row, bool checked) = 0;
    virtual void removeAllRows() = 0;
    virtual void redraw() = 0;
    virtual void setSortingEnabled(bool enabled) = 0;

    // Called when the user (not the program) ticks or unticks one row.
    virtual void setItemCheckHandler(std::function<void(int row)> handler) = 0;
};

}  // namespace tallyhive::platform

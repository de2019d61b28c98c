#pragma once

#include "app/general_date.h"
#include "interfaces/error.h"
#include "interfaces/list_view.h"
#include "mainwindow/list_columns.h"

#include <QStringList>

#include <vector>

namespace tallyhive::testing {

// A list view in memory, for logic that only needs records and marks.
class FakeListView : public platform::ListView {
public:
    struct Row {
        EmailRecord record;
        bool checked = false;
    };

    void insertColumn(int column, const QString& title, RecordField field) override
    {
        titles.insert(column - 1, title);
        fields.insert(fields.begin() + (column - 1), field);
        widths.insert(widths.begin() + (column - 1), 0);
    }
    void removeColumn(int column) override
    {
        titles.removeAt(column - 1);
        fields.erase(fields.begin() + (column - 1));
        widths.erase(widths.begin() + (column - 1));
    }
    RecordField columnField(int column) const override { return fields.at(column - 1); }
    int columnCount() const override { return titles.size(); }
    QString columnTitle(int column) const override { return titles.value(column - 1); }
    void setColumnWidth(int column, int twips) override { widths.at(column - 1) = twips; }
    int columnWidth(int column) const override { return widths.at(column - 1); }

    int addRow(EmailRecord record) override
    {
        rows.push_back({std::move(record)});
        return static_cast<int>(rows.size());
    }
    int rowCount() const override { return static_cast<int>(rows.size()); }
    const EmailRecord& record(int row) const override
    {
        if (row < 1 || row > rowCount())
            throw AppError(QStringLiteral("no row %1").arg(row));
        return rows[static_cast<size_t>(row - 1)].record;
    }
    QString cellText(int row, int column) const override
    {
        if (columnField(column) != RecordField::DayNumber)
            return record(row).fieldText(columnField(column));
        const auto day = general_date::dayNumber(record(row).receivedAt);
        return day ? QString::number(*day) : QString();
    }
    bool isChecked(int row) const override { return rows.at(row - 1).checked; }
    void setChecked(int row, bool checked) override { rows.at(row - 1).checked = checked; }
    void removeAllRows() override { rows.clear(); }
    void redraw() override {}
    void setSortingEnabled(bool) override {}
    void setItemCheckHandler(std::function<void(int)> handler) override { itemCheck = std::move(handler); }
    void setColumnMenu(std::function<std::vector<platform::ColumnChoice>()> choices, std::function<void(int)> chosen) override
    {
        columnChoices = std::move(choices);
        columnChosen = std::move(chosen);
    }

    // What the user does: tick a row and let the list tell its owner.
    void userToggle(int row)
    {
        setChecked(row, !isChecked(row));
        if (itemCheck)
            itemCheck(row);
    }

    // Each row's mark, from the first row on.
    std::vector<bool> marks() const
    {
        std::vector<bool> result;
        for (const Row& row : rows)
            result.push_back(row.checked);
        return result;
    }

    // An empty list with the program's six columns.
    static FakeListView withStandardColumns()
    {
        FakeListView list;
        for (size_t i = 0; i < ListColumnTitles.size(); ++i)
            list.addColumn(ListColumnTitles[i], ListColumnFields[i]);
        return list;
    }

    QStringList titles;
    std::vector<RecordField> fields;
    std::vector<int> widths;
    std::vector<Row> rows;
    std::function<void(int)> itemCheck;
    std::function<std::vector<platform::ColumnChoice>()> columnChoices;
    std::function<void(int)> columnChosen;
};

}  // namespace tallyhive::testing

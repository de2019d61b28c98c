#pragma once

#include "interfaces/list_view.h"

#include <QWidget>

#include <vector>

class QTableView;

namespace tallyhive::platform {

class ListRowsModel;

// The list view on screen: a table over a flat row model, so that tens of
// thousands of rows stay quick to add, check and scroll.
class QtListView : public QWidget, public ListView {
    Q_OBJECT
public:
    explicit QtListView(QWidget* parent = nullptr);
    ~QtListView() override;

    void insertColumn(int column, const QString& title, RecordField field) override;
    void removeColumn(int column) override;
    RecordField columnField(int column) const override;
    int columnCount() const override;
    QString columnTitle(int column) const override;
    void setColumnWidth(int column, int twips) override;
    int columnWidth(int column) const override;

    int addRow(EmailRecord record) override;
    int rowCount() const override;
    const EmailRecord& record(int row) const override;
    QString cellText(int row, int column) const override;
    bool isChecked(int row) const override;
    void setChecked(int row, bool checked) override;
    void removeAllRows() override;
    void redraw() override;
    void setSortingEnabled(bool enabled) override;

    void setItemCheckHandler(std::function<void(int row)> handler) override;
    void setColumnMenu(std::function<std::vector<ColumnChoice>()> choices, std::function<void(int index)> chosen) override;

    // The table itself, for pointer tracking, focus order and tests.
    QTableView& table() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showColumnMenu(const QPoint& at);
    // After columns moved: each table column's width and visibility from widthsTwips_.
    void applyWidths();

    ListRowsModel* model_;
    QTableView* table_;
    std::vector<int> widthsTwips_;
    std::function<std::vector<ColumnChoice>()> columnChoices_;
    std::function<void(int index)> columnChosen_;
};

}  // namespace tallyhive::platform

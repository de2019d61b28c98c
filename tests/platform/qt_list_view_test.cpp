#include "interfaces/error.h"
#include "mainwindow/list_columns.h"
#include "platform/qt/qt_list_view.h"

#include "support/gui_application.h"

#include <QApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using tallyhive::platform::QtListView;

// Constructed before any widget member of a fixture.
struct WithApplication {
    WithApplication() { tallyhive::testing::guiApplication(); }
};

class QtListViewTest : public ::testing::Test, private WithApplication {
protected:
    QtListViewTest()
    {
        for (size_t i = 0; i < tallyhive::ListColumnTitles.size(); ++i)
            list.addColumn(tallyhive::ListColumnTitles[i], tallyhive::ListColumnFields[i]);
    }

    void addRows(int count)
    {
        for (int i = 1; i <= count; ++i)
            list.addRow({QStringLiteral("sender %1").arg(i), {}, {}, QStringLiteral("subject %1").arg(i)});
    }

    // Where the check box of a row is drawn, in the table's viewport.
    QPoint checkBoxCentre(int row)
    {
        QTableView& table = list.table();
        const QModelIndex index = table.model()->index(row - 1, 0);
        QStyleOptionViewItem option;
        option.initFrom(&table);
        option.rect = table.visualRect(index);
        option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
        option.text = index.data().toString();
        return table.style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, &table).center();
    }

    QtListView list;
};

TEST_F(QtListViewTest, RowsAndCellsCountFromOne)
{
    EXPECT_EQ(list.addRow({QStringLiteral("first")}), 1);
    EXPECT_EQ(list.addRow({"second", {}, {}, {}, "3/1/2015 10:00:00 AM", {}, {}, QDateTime(QDate(2015, 3, 1), QTime(10, 0))}), 2);

    EXPECT_EQ(list.rowCount(), 2);
    EXPECT_EQ(list.cellText(1, 1), QStringLiteral("first"));
    EXPECT_EQ(list.cellText(2, 5), QStringLiteral("3/1/2015 10:00:00 AM"));
    EXPECT_EQ(list.cellText(2, 6), QStringLiteral("42064"));
    EXPECT_EQ(list.cellText(1, 3), QString());
    EXPECT_EQ(list.columnTitle(6), QStringLiteral("RecDate"));
    // The view learns of appended rows once events run.
    EXPECT_EQ(list.table().model()->rowCount(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(list.table().model()->rowCount(), 2);
    EXPECT_EQ(list.table().model()->index(1, 4).data().toString(), QStringLiteral("3/1/2015 10:00:00 AM"));
}

TEST_F(QtListViewTest, RowsPouringInReachTheViewAQuarterSecondApartButShownRowsChangeAtOnce)
{
    QAbstractItemModel& shown = *list.table().model();
    addRows(1);
    QCoreApplication::processEvents();
    EXPECT_EQ(shown.rowCount(), 1);
    addRows(1);
    QCoreApplication::processEvents();
    EXPECT_EQ(shown.rowCount(), 1);
    EXPECT_EQ(list.rowCount(), 2);

    // A change to a row on show is not held back; the new row comes with it.
    list.setChecked(1, true);
    QCoreApplication::processEvents();
    EXPECT_EQ(shown.index(0, 0).data(Qt::CheckStateRole), Qt::Checked);
    EXPECT_EQ(shown.rowCount(), 2);

    addRows(1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown.rowCount() == 3; }, 1000));
    list.removeAllRows();
    addRows(1);
    QCoreApplication::processEvents();
    EXPECT_EQ(shown.rowCount(), 1);  // a new list starts at once
}

TEST_F(QtListViewTest, BadRowOrColumnIsAnAppErrorNotACrash)
{
    addRows(2);
    EXPECT_THROW(list.isChecked(3), tallyhive::AppError);
    EXPECT_THROW(list.setChecked(0, true), tallyhive::AppError);
    EXPECT_THROW(list.cellText(1, 0), tallyhive::AppError);
    EXPECT_THROW(list.setColumnWidth(7, 100), tallyhive::AppError);
}

TEST_F(QtListViewTest, WidthsAreKeptInTwipsAndZeroHidesTheColumn)
{
    list.setColumnWidth(1, 1300);
    list.setColumnWidth(6, 0);
    EXPECT_EQ(list.columnWidth(1), 1300);
    EXPECT_EQ(list.table().columnWidth(0), 1300 / 15);
    EXPECT_TRUE(list.table().isColumnHidden(5));
    list.setColumnWidth(6, 300);
    EXPECT_FALSE(list.table().isColumnHidden(5));
    EXPECT_EQ(list.columnWidth(6), 300);
}

TEST_F(QtListViewTest, ProgramChecksDoNotReachTheHandlerButUserClicksDo)
{
    addRows(3);
    std::vector<int> reported;
    list.setItemCheckHandler([&](int row) { reported.push_back(row); });

    list.setChecked(2, true);
    EXPECT_TRUE(list.isChecked(2));
    EXPECT_TRUE(reported.empty());

    list.resize(600, 300);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    QTest::mouseClick(list.table().viewport(), Qt::LeftButton, {}, checkBoxCentre(3));
    EXPECT_TRUE(list.isChecked(3));
    ASSERT_EQ(reported, std::vector<int>{3});

    // The same path the delegate takes, for a row that is already checked.
    list.table().model()->setData(list.table().model()->index(1, 0), Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_FALSE(list.isChecked(2));
    EXPECT_EQ(reported, (std::vector<int>{3, 2}));

    // Space on any cell of the current row, as a person with the keyboard.
    list.table().setCurrentIndex(list.table().model()->index(0, 3));
    QTest::keyClick(&list.table(), Qt::Key_Space);
    QTest::keyClick(&list.table(), Qt::Key_Down);
    QTest::keyClick(&list.table(), Qt::Key_Space);
    EXPECT_TRUE(list.isChecked(1));
    EXPECT_TRUE(list.isChecked(2));
    QTest::keyClick(&list.table(), Qt::Key_Space);
    EXPECT_FALSE(list.isChecked(2));
    EXPECT_EQ(reported, (std::vector<int>{3, 2, 1, 2, 2}));
}

// Tab leaves the list for the window's next control, however many cells it has.
TEST_F(QtListViewTest, TabLeavesTheList)
{
    QWidget window;
    auto* inWindow = new QtListView(&window);
    auto* next = new QPushButton(QStringLiteral("Check All"), &window);
    next->move(0, 320);
    inWindow->resize(600, 300);
    for (const char* title : {"a", "b", "c"})
        inWindow->addColumn(QString::fromLatin1(title), tallyhive::RecordField::From);
    inWindow->addRow({QStringLiteral("x")});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    inWindow->table().setFocus();
    inWindow->table().setCurrentIndex(inWindow->table().model()->index(0, 0));
    QTest::keyClick(&inWindow->table(), Qt::Key_Tab);
    EXPECT_TRUE(next->hasFocus());
    QTest::keyClick(next, Qt::Key_Backtab);
    EXPECT_TRUE(inWindow->table().hasFocus());
}

TEST_F(QtListViewTest, ViewShowsMarksSetInBulkOnceEventsRun)
{
    addRows(1000);
    QCoreApplication::processEvents();
    for (int row = 1; row <= 1000; row += 2)
        list.setChecked(row, true);
    QSignalSpy changes(list.table().model(), &QAbstractItemModel::dataChanged);
    QCoreApplication::processEvents();
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(list.table().model()->index(998, 0).data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
    EXPECT_EQ(list.table().model()->index(999, 0).data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Unchecked);
}

TEST_F(QtListViewTest, RemoveAllRowsEmptiesTheListButKeepsColumns)
{
    addRows(5);
    list.setChecked(4, true);
    list.removeAllRows();
    list.redraw();
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_EQ(list.columnCount(), 6);
    EXPECT_EQ(list.addRow({QStringLiteral("again")}), 1);
    EXPECT_FALSE(list.isChecked(1));
}

TEST_F(QtListViewTest, SortingIsOffAndSwitchedOnNeverReordersRows)
{
    list.addRow({QStringLiteral("b")});
    list.addRow({QStringLiteral("a")});
    EXPECT_FALSE(list.table().isSortingEnabled());
    list.setSortingEnabled(true);
    list.table().sortByColumn(0, Qt::AscendingOrder);
    // Row k stays the row of record k.
    EXPECT_EQ(list.cellText(1, 1), QStringLiteral("b"));
    EXPECT_EQ(list.cellText(2, 1), QStringLiteral("a"));
    list.setSortingEnabled(false);
    EXPECT_FALSE(list.table().isSortingEnabled());
}

}  // namespace

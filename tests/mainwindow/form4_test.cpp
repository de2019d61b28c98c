#include "app/pending_events.h"
#include "mainwindow/form4.h"
#include "mainwindow/form4_layout.h"
#include "mainwindow/form4_opening.h"
#include "mainwindow/list_columns.h"
#include "platform/qt/qt_list_view.h"

#include "support/fake_list_view.h"
#include "support/recording_message_boxes.h"

#include "support/gui_application.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <QtCore/qtestsupport_core.h>

#include <gtest/gtest.h>

namespace {

using namespace tallyhive;
using tallyhive::testing::FakeListView;
using tallyhive::testing::RecordingMessageBoxes;

struct WithApplication {
    WithApplication() { tallyhive::testing::guiApplication(); }
};

// Acts on the larger view once it is open and modal, from inside its own
// event loop; the command that opened it is still waiting meanwhile.
void whenForm4Open(std::function<void(Form4&)> action)
{
    auto* poll = new QTimer(&tallyhive::testing::guiApplication());
    QObject::connect(poll, &QTimer::timeout, poll, [poll, action = std::move(action)] {
        auto* form = qobject_cast<Form4*>(QApplication::activeModalWidget());
        if (!form || !form->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        action(*form);
    });
    poll->start(1);
}

QPushButton& button(Form4& form, const char* name)
{
    auto* found = form.findChild<QPushButton*>(QString::fromLatin1(name));
    if (!found)
        throw std::runtime_error(name);
    return *found;
}

// What the user does when ticking a row: through the view's model.
void userToggle(platform::QtListView& list, int row)
{
    QAbstractItemModel* model = list.table().model();
    const QModelIndex index = model->index(row - 1, 0);
    const bool checked = index.data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked;
    model->setData(index, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
}

class Form4Test : public ::testing::Test, private WithApplication {
protected:
    void addRows(int count, const QString& subject = QStringLiteral("Hello"))
    {
        for (int i = 1; i <= count; ++i) {
            const QString n = QString::number(i);
            main.addRow({"sender" + n + "@example.org", "Sender " + n, "sender" + n + "@example.org", subject,
                         "3/" + n + "/2015 10:00:00 AM", {}, {}, QDateTime(QDate(2015, 3, i), QTime(10, 0))});
        }
    }

    void open() { ShowListInLargerView(main, boxes, [this](bool reset) { mainRefreshes.push_back(reset); }); }

    FakeListView main = FakeListView::withStandardColumns();
    RecordingMessageBoxes boxes;
    std::vector<bool> mainRefreshes;
};

// The main list's columns, a column its user chose among them.
TEST_F(Form4Test, LoadGivesTheMainListsColumnsEmptyCountsAndAFreshFlag)
{
    main.insertColumn(6, QStringLiteral("Cc"), RecordField::Cc);
    Form4 form(main, boxes);
    platform::QtListView& list = form.listView();
    ASSERT_EQ(list.columnCount(), 7);
    EXPECT_EQ(list.columnTitle(1), QStringLiteral("From"));
    EXPECT_EQ(list.columnTitle(6), QStringLiteral("Cc"));
    EXPECT_EQ(list.columnTitle(7), QStringLiteral("RecDate"));
    EXPECT_EQ(list.columnWidth(2), 1600);
    EXPECT_EQ(list.columnWidth(7), 0);
    EXPECT_EQ(form.windowTitle(), QStringLiteral(" List In Larger View"));
    EXPECT_EQ(form.totalLabel().text(), QStringLiteral("Total Number Of Emails: 0"));
    EXPECT_EQ(form.selectedLabel().text(), QStringLiteral("Selected Emails: 0"));
    EXPECT_FALSE(form.keepChecks());
    EXPECT_EQ(button(form, "PushButton4").text(), QStringLiteral("< Back"));
    EXPECT_TRUE(boxes.shown.empty());
    EmailRecord copied;
    copied.cc = QStringLiteral("c@example.org");
    list.addRow(copied);
    EXPECT_EQ(list.cellText(1, 6), QStringLiteral("c@example.org"));
}

TEST_F(Form4Test, MarksAreCopiedInAndChangedMarksCarriedBackByBack)
{
    addRows(5);
    main.setChecked(2, true);
    main.setChecked(5, true);
    bool opened = false;
    whenForm4Open([&](Form4& form) {
        opened = true;
        platform::QtListView& list = form.listView();
        EXPECT_TRUE(form.isMaximized());
        // A window manager maximises it a moment later; its frame then covers the screen.
        // Checked at the first opening: Matchbox may leave a window mapped right
        // after another closed unmanaged.
        const auto area = [](QSize size) { return size.width() * size.height(); };
        EXPECT_TRUE(QTest::qWaitFor([&] { return 10 * area(form.frameGeometry().size()) >= 9 * area(form.screen()->size()); }));
        EXPECT_EQ(list.rowCount(), 5);
        EXPECT_EQ(list.cellText(3, 4), QStringLiteral("Hello"));
        EXPECT_EQ(list.cellText(3, 6), QStringLiteral("42066"));
        EXPECT_TRUE(list.isChecked(2));
        EXPECT_TRUE(list.isChecked(5));
        EXPECT_EQ(form.selectedLabel().text(), QStringLiteral("Selected Emails: 2"));

        userToggle(list, 5);
        userToggle(list, 1);
        EXPECT_EQ(form.selectedLabel().text(), QStringLiteral("Selected Emails: 2"));
        // The main list keeps its old marks until the window closes.
        EXPECT_TRUE(main.isChecked(5));
        button(form, "PushButton4").click();
    });

    open();

    EXPECT_TRUE(opened);
    EXPECT_EQ(main.marks(), (std::vector<bool>{true, true, false, false, false}));
    EXPECT_EQ(mainRefreshes, std::vector<bool>{false});
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(Form4Test, CheckAllThenTheCloseBoxChecksEveryMainRow)
{
    addRows(4);
    whenForm4Open([&](Form4& form) {
        button(form, "PushButton5").click();
        EXPECT_EQ(form.selectedLabel().text(), QStringLiteral("Selected Emails: 4"));
        form.close();
    });
    open();
    EXPECT_EQ(main.marks(), std::vector<bool>(4, true));
}

TEST_F(Form4Test, ClearListEmptiesBothListsAndKeepsTheFlag)
{
    addRows(3, QStringLiteral("Invoice"));
    whenForm4Open([&](Form4& form) {
        boxes.answers.push_back(QStringLiteral("invoice"));
        button(form, "PushButton9").click();
        EXPECT_TRUE(form.keepChecks());  // an ASSERT would leave the window open for good
        button(form, "PushButton7").click();
        EXPECT_EQ(form.listView().rowCount(), 0);
        EXPECT_EQ(main.rowCount(), 0);
        EXPECT_TRUE(form.keepChecks());
        EXPECT_EQ(form.totalLabel().text(), QStringLiteral("Total Number Of Emails: 0"));
        EXPECT_EQ(form.selectedLabel().text(), QStringLiteral("Selected Emails: 0"));
        button(form, "PushButton4").click();
    });
    open();
    EXPECT_EQ(main.rowCount(), 0);
    EXPECT_EQ(mainRefreshes, std::vector<bool>{false});
}

TEST_F(Form4Test, EveryOpeningStartsWithItsOwnFlagFalse)
{
    addRows(4);
    main.rows[2].record.s_Subject = QStringLiteral("Invoice");
    for (int row = 1; row <= 4; ++row)
        main.setChecked(row, true);
    for (int opening = 0; opening < 2; ++opening) {
        whenForm4Open([&](Form4& form) {
            EXPECT_FALSE(form.keepChecks());
            boxes.answers.push_back(QStringLiteral("INVOICE"));
            button(form, "PushButton9").click();
            EXPECT_TRUE(form.keepChecks());
            form.close();
        });
        open();
        // Rows before the first match are unchecked again at every opening.
        EXPECT_EQ(main.marks(), (std::vector<bool>{false, false, true, true}));
        main.setChecked(1, true);
    }
}

TEST_F(Form4Test, EmptyMainListOpensEmptyAndClosingChangesNothing)
{
    whenForm4Open([&](Form4& form) {
        EXPECT_EQ(form.listView().rowCount(), 0);
        EXPECT_EQ(form.selectedLabel().text(), QStringLiteral("Selected Emails: 0"));
        form.close();
    });
    open();
    EXPECT_EQ(main.rowCount(), 0);
    EXPECT_EQ(mainRefreshes, std::vector<bool>{false});
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(Form4Test, ResizingGrowsTheListAndItsColumns)
{
    addRows(2);
    Form4 form(main, boxes);
    form.show();
    form.resize(1200, 800);
    QCoreApplication::processEvents();
    // The places themselves are the layout's own test; here the window follows it.
    const QSize outer = form.frameGeometry().size();
    const Form4Layout layout = layoutForm4(outer.width() * 15, outer.height() * 15);
    EXPECT_GT(form.listView().width(), 1000);
    EXPECT_EQ(form.listView().width(), layout.listWidth / 15);
    EXPECT_EQ(form.listView().height(), layout.listHeight / 15);
    for (int column = 1; column <= 6; ++column)
        EXPECT_EQ(form.listView().columnWidth(column), layout.columnWidths[column - 1]) << column;
    auto& back = button(form, "PushButton4");
    EXPECT_EQ(back.y(), layout.back.top / 15);
    EXPECT_EQ(back.x(), layout.back.left / 15);
    form.close();
}

TEST_F(Form4Test, ShrinkingBelowTheOffsetsKeepsPositiveSizes)
{
    Form4 form(main, boxes);
    form.show();
    form.resize(10, 10);
    form.showMinimized();
    QCoreApplication::processEvents();
    EXPECT_GT(form.listView().width(), 0);
    EXPECT_GT(form.listView().height(), 0);
    EXPECT_GE(button(form, "PushButton4").y(), 0);
    form.close();
}

TEST_F(Form4Test, OpeningAndClosingALargeListKeepsEveryMark)
{
    platform::QtListView big;
    for (size_t i = 0; i < ListColumnTitles.size(); ++i)
        big.addColumn(ListColumnTitles[i], ListColumnFields[i]);
    for (int i = 1; i <= 40000; ++i)
        big.setChecked(big.addRow({QStringLiteral("row %1").arg(i)}), i % 3 == 0);
    whenForm4Open([&](Form4& form) {
        EXPECT_EQ(form.selectedLabel().text(), QStringLiteral("Selected Emails: 13333"));
        userToggle(form.listView(), 39999);
        userToggle(form.listView(), 40000);
        form.close();
    });
    ShowListInLargerView(big, boxes, [](bool) {});
    EXPECT_TRUE(big.isChecked(39996));
    EXPECT_FALSE(big.isChecked(39998));
    EXPECT_FALSE(big.isChecked(39999));
    EXPECT_TRUE(big.isChecked(40000));
}

}  // namespace

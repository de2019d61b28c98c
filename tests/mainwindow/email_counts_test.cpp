#include "app/pending_events.h"
#include "mainwindow/email_counts.h"

#include "support/fake_list_view.h"

#include "support/gui_application.h"

#include <QApplication>
#include <QLabel>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using namespace tallyhive;
using tallyhive::testing::FakeListView;

class EmailCountsTest : public ::testing::Test {
protected:
    EmailCountsTest() { tallyhive::testing::guiApplication(); }
    ~EmailCountsTest() override { setPendingEventsObserver({}); }

    FakeListView list = FakeListView::withStandardColumns();
};

TEST_F(EmailCountsTest, LabelsShowRowsAndCheckedRowsOrZeroOnReset)
{
    QLabel total;
    QLabel selected;
    RefreshCounts(list, total, selected, false);
    EXPECT_EQ(total.text(), QStringLiteral("Total Number Of Emails: 0"));
    EXPECT_EQ(selected.text(), QStringLiteral("Selected Emails: 0"));

    for (int i = 1; i <= 25; ++i)
        list.setChecked(list.addRow({QStringLiteral("row")}), i % 4 == 0);
    RefreshCounts(list, total, selected, false);
    EXPECT_EQ(total.text(), QStringLiteral("Total Number Of Emails: 25"));
    EXPECT_EQ(selected.text(), QStringLiteral("Selected Emails: 6"));

    RefreshCounts(list, total, selected, true);
    EXPECT_EQ(total.text(), QStringLiteral("Total Number Of Emails: 0"));
    EXPECT_EQ(selected.text(), QStringLiteral("Selected Emails: 0"));
}

TEST_F(EmailCountsTest, CountingYieldsAtBoundedIntervalsNotAfterEveryRow)
{
    for (int i = 1; i <= 50000; ++i)
        list.setChecked(list.addRow({QStringLiteral("row")}), i % 2 == 0);
    int yields = 0;
    setPendingEventsObserver([&] { ++yields; });

    EXPECT_EQ(CountChecked(list), 25000);
    EXPECT_LT(yields, 50000 / 100);
}

// A list slow enough to read that counting it spans many yields.
class SlowList : public FakeListView {
public:
    bool isChecked(int row) const override
    {
        std::this_thread::sleep_for(std::chrono::microseconds(20));
        return FakeListView::isChecked(row);
    }
};

TEST_F(EmailCountsTest, ListEmptiedByAHandlerWhileCountingEndsTheWalk)
{
    SlowList slow;
    for (int i = 1; i <= 3000; ++i)
        slow.setChecked(slow.addRow({QStringLiteral("row")}), true);
    int yields = 0;
    setPendingEventsObserver([&] {
        if (++yields == 1)
            slow.removeAllRows();
    });

    const int counted = CountChecked(slow);
    EXPECT_GT(counted, 0);
    EXPECT_LT(counted, 3000);
}

}  // namespace

#include "app/locations.h"
#include "interfaces/error.h"
#include "mainwindow/check_commands.h"
#include "mainwindow/email_counts.h"

#include "support/fake_list_view.h"
#include "support/recording_message_boxes.h"

#include <gtest/gtest.h>

namespace {

using namespace tallyhive;
using tallyhive::testing::FakeListView;
using tallyhive::testing::RecordingMessageBoxes;

class CheckCommandsTest : public ::testing::Test {
protected:
    void addRow(EmailRecord record, bool checked = false) { list.setChecked(list.addRow(std::move(record)), checked); }

    // Ten rows; only row 5 and row 8 have "invoice" in a searched field.
    void addTenRows()
    {
        for (int i = 1; i <= 10; ++i) {
            const bool invoice = i == 5 || i == 8;
            addRow({"someone@example.org", "Invoice Dept", "invoice@example.org", invoice ? "Your invoice" : "Hello",
                    "3/1/2015 10:00:00 AM", QStringLiteral("invoice"), QStringLiteral("invoice"),
                    QDateTime(QDate(2015, 3, 1), QTime(10, 0))});
        }
    }

    CheckTarget target()
    {
        return {list, keepChecks, [this](bool reset) { refreshes.push_back(reset ? -1 : CountChecked(list)); },
                boxes};
    }

    void checkByText(TextMatch match, std::optional<QString> answer)
    {
        boxes.answers.push_back(std::move(answer));
        CheckByText(target(), locations::CheckContaining, match);
    }

    FakeListView list = FakeListView::withStandardColumns();
    RecordingMessageBoxes boxes;
    bool keepChecks = false;
    std::vector<int> refreshes;  // checked count after each refresh, -1 for a reset
};

TEST_F(CheckCommandsTest, CheckAllThenFirstMatchAtRowFiveUnchecksOnlyTheRowsBeforeIt)
{
    addTenRows();
    CheckAll(target(), locations::CheckAll, MainCheckAllLines);
    EXPECT_EQ(refreshes.back(), 10);

    checkByText(TextMatch::Containing, QStringLiteral("invoice"));

    EXPECT_EQ(list.marks(), (std::vector<bool>{false, false, false, false, true, true, true, true, true, true}));
    EXPECT_TRUE(keepChecks);
    EXPECT_EQ(refreshes.back(), 6);
    EXPECT_EQ(boxes.prompts, QStringList{QStringLiteral("Enter X:|Tallyhive")});
}

TEST_F(CheckCommandsTest, LaterCommandsOnlyAddChecks)
{
    addRow({"a", "", "", "apples"});
    addRow({"b", "", "", "bananas"});
    addRow({"c", "", "", "cherries"});
    addRow({"d", "", "", "dates"}, true);

    checkByText(TextMatch::Containing, QStringLiteral("apples"));
    checkByText(TextMatch::Containing, QStringLiteral("cherries"));

    // Row 4 was checked before the first command and lies after its first match.
    EXPECT_EQ(list.marks(), (std::vector<bool>{true, false, true, true}));
    EXPECT_EQ(refreshes, (std::vector<int>{2, 3}));
}

TEST_F(CheckCommandsTest, FirstCommandMatchingNothingUnchecksEveryRowAndLeavesTheFlagFalse)
{
    addTenRows();
    CheckAll(target(), locations::CheckAll, MainCheckAllLines);
    checkByText(TextMatch::Containing, QStringLiteral("no such text"));
    EXPECT_EQ(list.marks(), std::vector<bool>(10, false));
    EXPECT_FALSE(keepChecks);

    // Still a first command, so it unchecks again before its first match.
    list.setChecked(1, true);
    checkByText(TextMatch::Containing, QStringLiteral("invoice"));
    EXPECT_EQ(list.marks(), (std::vector<bool>{false, false, false, false, true, false, false, true, false, false}));
}

TEST_F(CheckCommandsTest, MatchingIgnoresCaseAndSearchesFromSubjectAndDateOnly)
{
    addRow({"Alice <alice@example.org>"});
    addRow({"", "", "", "quarterly REPORT"});
    addRow({"", "", "", "", "12/24/2014 9:15:00 AM"});
    addRow({"", "Report Team", "report@example.org", "", "", QStringLiteral("report")});

    EmailRecord attached;
    attached.attachments = QStringLiteral("report.pdf");
    addRow(attached);

    checkByText(TextMatch::Containing, QStringLiteral("ALICE"));
    checkByText(TextMatch::Containing, QStringLiteral("Report"));
    checkByText(TextMatch::Containing, QStringLiteral("12/24/2014"));
    EXPECT_EQ(list.marks(), (std::vector<bool>{true, true, true, false, false}));

    // A column the user chose is searched too.
    list.insertColumn(6, QStringLiteral("Attachments"), RecordField::Attachments);
    checkByText(TextMatch::Containing, QStringLiteral("Report"));
    EXPECT_EQ(list.marks(), (std::vector<bool>{true, true, true, false, true}));
}

TEST_F(CheckCommandsTest, NotContainingChecksRowsWithTheTextInNoSearchedField)
{
    addRow({"x", "", "", "Invoice"});
    addRow({"y", "invoice", "", "Hello"});
    addRow({"invoice@shop", "", "", "Hi"});

    checkByText(TextMatch::NotContaining, QStringLiteral("INVOICE"));

    EXPECT_EQ(list.marks(), (std::vector<bool>{false, true, false}));
    EXPECT_TRUE(keepChecks);
}

TEST_F(CheckCommandsTest, CancelLeavesMarksAndFlagAsTheyWere)
{
    addRow({"a", "", "", "one"}, true);
    addRow({"b", "", "", "two"});
    addRow({"", "", "", ""}, true);

    for (bool flag : {false, true}) {
        keepChecks = flag;
        checkByText(TextMatch::Containing, std::nullopt);
        checkByText(TextMatch::NotContaining, std::nullopt);
        EXPECT_EQ(list.marks(), (std::vector<bool>{true, false, true}));
        EXPECT_EQ(keepChecks, flag);
    }
    EXPECT_EQ(boxes.prompts.size(), 4);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(CheckCommandsTest, EmptyTextOccursInEveryNonEmptyFieldAndInNoEmptyOne)
{
    addRow({"a"});
    addRow({"", "name only", "address only", "", "", QStringLiteral("body only"), QStringLiteral("html only"),
            QDateTime(QDate(2015, 3, 1), QTime(10, 0))});
    addRow({"", "", "", "", "1/1/2015"});

    checkByText(TextMatch::Containing, QString());
    EXPECT_EQ(list.marks(), (std::vector<bool>{true, false, true}));

    UncheckAll(target(), locations::UncheckAll);
    checkByText(TextMatch::NotContaining, QString());
    EXPECT_EQ(list.marks(), (std::vector<bool>{false, true, false}));
}

TEST_F(CheckCommandsTest, BulkCommandsResetTheFlagAndClearListDoesNot)
{
    addTenRows();
    keepChecks = true;
    CheckAll(target(), locations::CheckAll, MainCheckAllLines);
    EXPECT_FALSE(keepChecks);
    EXPECT_EQ(list.marks(), std::vector<bool>(10, true));

    keepChecks = true;
    UncheckAll(target(), locations::UncheckAll);
    EXPECT_FALSE(keepChecks);
    EXPECT_EQ(refreshes, (std::vector<int>{10, 0}));

    FakeListView other = FakeListView::withStandardColumns();
    other.addRow({QStringLiteral("copy")});
    keepChecks = true;
    ClearList(target(), locations::ClearList, MainClearListLines);
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_EQ(other.rowCount(), 1);
    EXPECT_TRUE(keepChecks);
    EXPECT_EQ(refreshes.back(), -1);

    addTenRows();
    ClearList(target(), locations::Form4ClearList, LargerViewClearListLines, &other);
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_EQ(other.rowCount(), 0);
}

TEST_F(CheckCommandsTest, EmptyListFinishesEveryCommandWithZeroCounts)
{
    CheckAll(target(), locations::CheckAll, MainCheckAllLines);
    UncheckAll(target(), locations::UncheckAll);
    checkByText(TextMatch::Containing, QStringLiteral("x"));
    ClearList(target(), locations::ClearList, MainClearListLines);
    EXPECT_EQ(refreshes, (std::vector<int>{0, 0, 0, -1}));
    EXPECT_EQ(boxes.prompts.size(), 1);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(CheckCommandsTest, ListsBeyondSixteenBitsAreWalkedInFull)
{
    for (int i = 1; i <= 40000; ++i)
        addRow({"sender", "", "", i % 1000 == 0 ? "Weekly digest" : "Note"});

    checkByText(TextMatch::Containing, QStringLiteral("DIGEST"));

    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(refreshes.back(), 40);
    EXPECT_TRUE(list.isChecked(40000));
    EXPECT_FALSE(list.isChecked(39999));
}

// A list whose row 3 refuses every change of its check mark.
class StubbornRowList : public FakeListView {
public:
    void setChecked(int row, bool checked) override
    {
        if (row == 3)
            throw AppError(QStringLiteral("Row is locked"));
        FakeListView::setChecked(row, checked);
    }
};

TEST(CheckCommandFailures, AFailingRowIsReportedWithTheCommandsLineAndTheOtherRowsAreStillMarked)
{
    StubbornRowList list;
    for (int i = 0; i < 5; ++i)
        list.addRow({QStringLiteral("row")});
    RecordingMessageBoxes boxes;
    bool keepChecks = false;
    const CheckTarget target{list, keepChecks, [](bool) {}, boxes};

    CheckAll(target, locations::CheckAll, MainCheckAllLines);
    CheckAll(target, locations::Form4CheckAll, LargerViewCheckAllLines);

    ASSERT_EQ(boxes.shown.size(), 2);
    EXPECT_TRUE(boxes.shown[0].text.contains(QStringLiteral("Row is locked\r\nin TallyhiveApp.Form1.PushButton5_Click at line 0\r\r")));
    EXPECT_TRUE(boxes.shown[1].text.contains(QStringLiteral("in TallyhiveApp2/19/2015.Form4.PushButton5_Click at line 112\r\r")));
    EXPECT_TRUE(list.isChecked(2));
    EXPECT_TRUE(list.isChecked(4));
    EXPECT_TRUE(list.isChecked(5));
}

}  // namespace

// The main window's keyboard conduct and its status line during an export.
#include "form1_fixture.h"

#include <QTest>

using namespace tallyhive;
using namespace tallyhive::testing;

namespace {

// Shows the window and gives it the keyboard, as a user's window has it.
void activate(Form1& window)
{
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

QWidget* focusAfterTab(QWidget* from)
{
    from->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    return QApplication::focusWidget();
}

}  // namespace

TEST_F(Form1Test, FolderOptionsAreOneTabStopAtTheSelectedOption)
{
    Form1& w = load();
    activate(w);
    EXPECT_EQ(focusAfterTab(control<QPushButton>(w, "PushButton11")), control<QRadioButton>(w, "Option3"));
    EXPECT_EQ(focusAfterTab(control<QRadioButton>(w, "Option3")), control<QLineEdit>(w, "txtSearch"));

    control<QRadioButton>(w, "Option6")->click();
    EXPECT_EQ(focusAfterTab(control<QPushButton>(w, "PushButton11")), control<QRadioButton>(w, "Option6"));
    EXPECT_EQ(focusAfterTab(control<QRadioButton>(w, "Option6")), control<QLineEdit>(w, "txtSearch"));

    // With no option selected the group is still reached, at its first option.
    control<QRadioButton>(w, "Option6")->setChecked(false);
    EXPECT_EQ(focusAfterTab(control<QPushButton>(w, "PushButton11")), control<QRadioButton>(w, "Option3"));
}

TEST_F(Form1Test, ArrowKeysMoveTheFolderChoiceAndSaveItLikeAClick)
{
    Form1& w = load();
    activate(w);
    control<QRadioButton>(w, "Option3")->setFocus();
    QTest::keyClick(control<QRadioButton>(w, "Option3"), Qt::Key_Right);
    EXPECT_TRUE(control<QRadioButton>(w, "Option5")->isChecked());
    EXPECT_FALSE(control<QRadioButton>(w, "Option3")->isChecked());
    EXPECT_EQ(QApplication::focusWidget(), control<QRadioButton>(w, "Option5"));
    EXPECT_EQ(settings.writes.mid(settings.writes.size() - 5),
              QStringList({"Option3=False", "Option5=True", "Option6=False", "Option7=False", "Option9=False"}));

    QTest::keyClick(control<QRadioButton>(w, "Option5"), Qt::Key_Down);
    EXPECT_EQ(w.SelectedFolderName(), QStringLiteral("Sent"));
    QTest::keyClick(control<QRadioButton>(w, "Option6"), Qt::Key_Up);
    QTest::keyClick(control<QRadioButton>(w, "Option5"), Qt::Key_Left);
    EXPECT_EQ(w.SelectedFolderName(), QStringLiteral("Inbox"));
    // The ends wrap round.
    QTest::keyClick(control<QRadioButton>(w, "Option3"), Qt::Key_Left);
    EXPECT_EQ(w.SelectedFolderName(), QStringLiteral("Deleted"));
    EXPECT_EQ(settings.value("Option9"), QStringLiteral("True"));
    QTest::keyClick(control<QRadioButton>(w, "Option9"), Qt::Key_Right);
    EXPECT_EQ(w.SelectedFolderName(), QStringLiteral("Inbox"));
}

TEST_F(Form1Test, OtherIsOneMoreOptionForTheKeysOnceItHasAFolder)
{
    settings.set("Combo2", "Archive");
    Form1& w = load();
    activate(w);
    control<QRadioButton>(w, "Option9")->click();
    control<QRadioButton>(w, "Option9")->setFocus();
    QTest::keyClick(control<QRadioButton>(w, "Option9"), Qt::Key_Right);
    EXPECT_TRUE(control<QRadioButton>(w, "Option10")->isChecked());
    EXPECT_EQ(w.SelectedFolderName(), QStringLiteral("Archive"));
    EXPECT_EQ(settings.value("Option10"), QStringLiteral("True"));
    QTest::keyClick(control<QRadioButton>(w, "Option10"), Qt::Key_Right);
    EXPECT_EQ(w.SelectedFolderName(), QStringLiteral("Inbox"));
    QTest::keyClick(control<QRadioButton>(w, "Option3"), Qt::Key_Up);
    EXPECT_TRUE(control<QRadioButton>(w, "Option10")->isChecked());

    // One tab stop for the six, then the drop-down, then the filter.
    EXPECT_EQ(focusAfterTab(control<QPushButton>(w, "PushButton11")), control<QRadioButton>(w, "Option10"));
    EXPECT_EQ(focusAfterTab(control<QRadioButton>(w, "Option10")), control<QComboBox>(w, "Combo2"));
    EXPECT_EQ(focusAfterTab(control<QComboBox>(w, "Combo2")), control<QLineEdit>(w, "txtSearch"));
}

namespace {

// Spreadsheets that note the main window's status line as each row's first
// cell is written.
class StatusNotingSpreadsheets : public platform::SpreadsheetFactory {
public:
    explicit StatusNotingSpreadsheets(std::function<void()> note) : note_(std::move(note)) {}
    std::unique_ptr<platform::Spreadsheet> createApplication() override { return std::make_unique<Sheet>(note_); }

private:
    struct Sheet : platform::Spreadsheet {
        explicit Sheet(std::function<void()> note) : note(std::move(note)) {}
        void addWorkbook() override {}
        void setVisible(bool) override {}
        void setCell(int row, int column, const QString&, platform::CellQuote) override
        {
            if (row > 1 && column == 1)
                note();
        }
        void setDate(int, int, const QDateTime&, const QString&) override {}
        void setNumber(int, int, qint64) override {}
        void autoFitColumns() override {}
        void finish() override {}
        std::function<void()> note;
    };
    std::function<void()> note_;
};

}  // namespace

TEST_F(Form1Test, SendToExcelShowsTheRowItIsSendingThenGoesIdle)
{
    QStringList statuses;
    QList<int> positions;
    StatusNotingSpreadsheets sheets([&] {
        statuses << window->statusText();
        positions << control<tallyhive::StatusProgressBar>(*window, "ProgressBar1")->position();
    });
    deployment = tallyhive::config::deployment();
    window = std::make_unique<Form1>(Form1Services{boxes, settings, sheets, imapServer, deployment, [this] { return component; }});
    window->Form_Load();
    signIn();
    window->PushButton3_Click();
    ASSERT_EQ(window->listView().rowCount(), 10);
    window->PushButton5_Click();
    window->listView().setChecked(3, false);
    boxes.shown.clear();

    window->PushButton4_Click();
    EXPECT_EQ(boxes.texts(), QStringList{QStringLiteral("Done.")});
    ASSERT_EQ(statuses.size(), 9);
    EXPECT_EQ(statuses.first(), QStringLiteral("Sending row 1 of 10"));
    EXPECT_EQ(statuses[2], QStringLiteral("Sending row 4 of 10"));
    EXPECT_EQ(statuses.last(), QStringLiteral("Sending row 10 of 10"));
    EXPECT_EQ(positions.first(), 10);
    EXPECT_EQ(positions.last(), 100);
    EXPECT_EQ(window->statusText(), QStringLiteral("Progress Bar"));
    EXPECT_EQ(control<tallyhive::StatusProgressBar>(*window, "ProgressBar1")->position(), 0);
}

// Each button under the list, clicked in the window, on the fetched rows.
TEST_F(Form1Test, TheCheckButtonsWorkOnTheMainList)
{
    Form1& w = loadSignedIn();
    w.PushButton3_Click();
    const struct {
        const char* button;
        const char* answer;  // for the check-by-text box
        const char* total;
        const char* selected;
    } clicks[] = {
        {"PushButton5", nullptr, "10", "10"},       // Check All
        {"PushButton6", nullptr, "10", "0"},        // Uncheck All
        {"PushButton9", "subject 1", "10", "2"},    // containing: 1 and 10
        {"PushButton10", "subject 1", "10", "10"},  // not containing: the rest, added
        {"PushButton7", nullptr, "0", "0"},         // Clear List
    };
    for (const auto& click : clicks) {
        SCOPED_TRACE(click.button);
        if (click.answer)
            boxes.answers.push_back(QString::fromUtf8(click.answer));
        control<QPushButton>(w, click.button)->click();
        EXPECT_EQ(control<QLabel>(w, "Label1")->text(), QStringLiteral("Total Number Of Emails: ") + click.total);
        EXPECT_EQ(control<QLabel>(w, "Label2")->text(), QStringLiteral("Selected Emails: ") + click.selected);
    }
}

#include "form1_fixture.h"

#include "mainwindow/chosen_columns.h"
#include "mainwindow/form2.h"

#include <QDir>
#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyleHints>
#include <QTest>
#include <QTimer>

using namespace tallyhive::testing;

namespace {

// Answers the range dialog once it is open: fills the boxes and presses
// Continue, or closes it by its close box when `close` is set.
void answerRangeDialog(const QString& first, const QString& last, bool close = false)
{
    QTimer::singleShot(0, [=] {
        auto* dialog = qobject_cast<tallyhive::Form2*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        if (close) {
            dialog->close();
            return;
        }
        dialog->Text1[0]->setText(first);
        dialog->Text1[1]->setText(last);
        dialog->PushButton1->click();
        // A refused range leaves the dialog open; close it so the test goes on.
        if (dialog->isVisible())
            dialog->close();
    });
}

}  // namespace

TEST_F(Form1Test, FetchCommandsRefuseToRunBeforeConnect)
{
    Form1& w = load();
    w.PushButton3_Click();
    w.PushButton2_Click();
    EXPECT_EQ(boxes.texts(), QStringList(2, QStringLiteral("Please connect first (Step 1) before using this feature.")));
    EXPECT_FALSE(component->calls.join(u'|').contains(QStringLiteral("fetch")));
}

TEST_F(Form1Test, GetAllListsEveryMessageWithItsRecordAndSaysDone)
{
    Form1& w = loadSignedIn();
    w.PushButton3_Click();
    ASSERT_EQ(w.listView().rowCount(), 10);
    for (int row = 1; row <= 10; ++row) {
        EXPECT_EQ(w.listView().cellText(row, 4), QStringLiteral("Subject %1").arg(row));
        EXPECT_EQ(w.listView().record(row).s_HTMLText, QStringLiteral("<p>Body %1</p>").arg(row));
    }
    EXPECT_EQ(boxes.texts(), QStringList({"Done."}));
    EXPECT_EQ(control<QLabel>(w, "Label1")->text(), QStringLiteral("Total Number Of Emails: 10"));
    EXPECT_EQ(control<QPushButton>(w, "PushButton3")->text(), QStringLiteral("2a. Get All Emails"));
    EXPECT_FALSE(control<QPushButton>(w, "PushButton2")->isHidden());
    EXPECT_EQ(control<QPushButton>(w, "PushButton3")->width(), 3840 / 15);
    EXPECT_EQ(w.session().current, nullptr);
    EXPECT_EQ(w.statusText(), QStringLiteral("Progress Bar"));
}

TEST_F(Form1Test, TwoGetAllRunsEachConnectTheirOwnSession)
{
    Form1& w = loadSignedIn();
    w.PushButton3_Click();
    w.PushButton3_Click();
    // One login for the sign-in, one per extraction, one for the second run's own session.
    EXPECT_EQ(count(QStringLiteral("login user@example.org")), 4);
    EXPECT_EQ(w.listView().rowCount(), 10);
    EXPECT_EQ(boxes.texts(), QStringList({"Done.", "Done."}));
}

TEST_F(Form1Test, EmptyFolderEndsWithoutDoneForBothCommands)
{
    Form1& w = load();
    control<QRadioButton>(w, "Option5")->click();
    signIn();
    w.listView().addRow({QStringLiteral("kept")});
    w.PushButton2_Click();
    EXPECT_EQ(boxes.texts(), QStringList({"There are 0 emails in the Folder you selected."}));
    EXPECT_EQ(w.listView().rowCount(), 1);

    boxes.shown.clear();
    w.PushButton3_Click();
    EXPECT_EQ(boxes.texts(), QStringList({"There are no emails in the Folder you selected."}));
    EXPECT_EQ(w.listView().rowCount(), 0);
    EXPECT_EQ(control<QLabel>(w, "Label1")->text(), QStringLiteral("Total Number Of Emails: 0"));

    // What these runs held back is theirs: a later run says what became of it.
    w.PushButton1_Click();
    control<QRadioButton>(w, "Option3")->click();
    signIn();
    component->failFetches = {2};
    boxes.shown.clear();
    w.PushButton3_Click();
    EXPECT_EQ(boxes.texts(), QStringList({"Done, but 1 of the 10 messages asked for could not be read.\r\n\r\nThe first reason: fetched 2"}));
    control<QRadioButton>(w, "Option5")->click();
    w.PushButton3_Click();
    w.PushButton1_Click();
    control<QRadioButton>(w, "Option3")->click();
    signIn();  // the next run reads on this connect's session
    component->failFetches.clear();
    boxes.shown.clear();
    w.PushButton3_Click();
    EXPECT_EQ(boxes.texts(), QStringList({"Done."}));
}

// A double click on a button that its click gives another role does one
// thing: the second click would land on that role and undo the first.
TEST_F(Form1Test, ADoubleClickOnAButtonThatChangesItsRoleDoesOneThing)
{
    Form1& w = load();
    control<QLineEdit>(w, "Text1")->setText(QStringLiteral("user"));
    control<QComboBox>(w, "Combo1")->setCurrentIndex(1);
    control<QLineEdit>(w, "Text2")->setText(QStringLiteral("secret"));
    // As the desktop sends one: a second press a fifth of a second after the
    // first, and with it the double-click event.
    quint64 time = 100000;
    const auto doubleClick = [&](const char* name) {
        QPushButton* button = control<QPushButton>(w, name);
        const QPointF at = QRectF(button->rect()).center();
        const auto send = [&](QEvent::Type type, quint64 after) {
            QMouseEvent event(type, at, button->mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
            event.setTimestamp(time += after);
            QApplication::sendEvent(button, &event);
        };
        send(QEvent::MouseButtonPress, 10000);
        send(QEvent::MouseButtonRelease, 50);
        send(QEvent::MouseButtonPress, 150);
        send(QEvent::MouseButtonDblClick, 0);
        send(QEvent::MouseButtonRelease, 50);
    };
    doubleClick("PushButton1");
    EXPECT_TRUE(w.isConnected()) << qPrintable(component->calls.join(u','));
    doubleClick("PushButton3");
    EXPECT_EQ(w.listView().rowCount(), 10);
    EXPECT_EQ(boxes.texts(), QStringList({"Done."}));
    // A click after the double click's time is a click again.
    QTest::mouseClick(control<QPushButton>(w, "PushButton1"), Qt::LeftButton, {}, QPoint(),
                      QGuiApplication::styleHints()->mouseDoubleClickInterval() + 1);
    EXPECT_FALSE(w.isConnected());
    EXPECT_EQ(control<QPushButton>(w, "PushButton1")->text(), QStringLiteral("1. Connect"));
}

TEST_F(Form1Test, GetSomeFetchesTheAcceptedRangeOnly)
{
    component->fill(QStringLiteral("Inbox"), 30);  // 40 in all
    Form1& w = loadSignedIn();
    QStringList statuses;
    component->onFetch = [&](int) { statuses << w.statusText(); };
    answerRangeDialog(QStringLiteral("1"), QStringLiteral("1"));
    w.PushButton2_Click();
    EXPECT_EQ(rowTexts(4), QStringList({"Subject 1"}));
    EXPECT_EQ(statuses.value(0), QStringLiteral("Reading mail 1 of 1"));
    EXPECT_EQ(count(QStringLiteral("fetch 2 0")), 0);
    EXPECT_EQ(boxes.texts(), QStringList({"Done."}));
}

TEST_F(Form1Test, RangeDialogRefusesAboveTheCountAndRoundsHalvesToEven)
{
    component->fill(QStringLiteral("Inbox"), 30);
    Form1& w = loadSignedIn();
    answerRangeDialog(QStringLiteral("39.5"), QStringLiteral("40.4"));
    w.PushButton2_Click();
    EXPECT_EQ(boxes.texts().value(0), QStringLiteral("Please input max value greater than 0 and less than or equal to 40"));
    EXPECT_EQ(w.listView().rowCount(), 0);
    EXPECT_EQ(boxes.shown.size(), 1u);  // closed by its box: no "Done."

    boxes.shown.clear();
    answerRangeDialog(QStringLiteral("39.5"), QStringLiteral("39.5"));
    w.PushButton2_Click();
    EXPECT_EQ(rowTexts(4), QStringList({"Subject 30"}));  // 40 .. 40: the last of the second fill

    boxes.shown.clear();
    answerRangeDialog(QStringLiteral("abc"), QStringLiteral("3"));
    w.PushButton2_Click();
    EXPECT_EQ(boxes.texts().value(0), QStringLiteral("Please input a value greater than zero."));
}

TEST_F(Form1Test, StopReturnsTheButtonsAtOnceAndKeepsTheRowsSoFar)
{
    Form1& w = loadSignedIn();
    bool disabledWhileClosing = false;
    component->onFetch = [&](int n) {
        if (n == 4) {
            // One wide "Stop" covers both places while the run goes.
            EXPECT_EQ(control<QPushButton>(w, "PushButton3")->text(), QStringLiteral("Stop"));
            EXPECT_EQ(control<QPushButton>(w, "PushButton3")->width(), 520);
            EXPECT_TRUE(control<QPushButton>(w, "PushButton2")->isHidden());
            w.PushButton3_Click();
            EXPECT_EQ(control<QPushButton>(w, "PushButton3")->text(), QStringLiteral("2a. Get All Emails"));
            EXPECT_EQ(control<QPushButton>(w, "PushButton2")->text(), QStringLiteral("2b. Get Some Emails"));
            disabledWhileClosing = !control<QPushButton>(w, "PushButton3")->isEnabled() && !control<QPushButton>(w, "PushButton2")->isEnabled();
            w.PushButton3_Click();  // no new run inside the stopped one
        }
    };
    answerRangeDialog(QStringLiteral("1"), QStringLiteral("10"));
    w.PushButton2_Click();
    EXPECT_TRUE(disabledWhileClosing);
    EXPECT_EQ(rowTexts(4), QStringList({"Subject 1", "Subject 2", "Subject 3"}));
    EXPECT_EQ(count(QStringLiteral("fetch 5 0")), 0);
    EXPECT_EQ(boxes.texts(), QStringList({"Stopped after reading 3 of the 10 messages asked for."}));
    EXPECT_TRUE(control<QPushButton>(w, "PushButton3")->isEnabled());
}

TEST_F(Form1Test, ASessionDroppedByTheServerFailsOnceThenANewRunWorks)
{
    Form1& w = loadSignedIn();
    component->connected = false;  // the server hung up long ago
    w.PushButton3_Click();
    EXPECT_EQ(boxes.texts(), QStringList({"Invalid login. Please double-check your username and password.\r\n\r\n",
                                          "There are no emails in the Folder you selected."}));
    boxes.shown.clear();
    w.PushButton3_Click();
    EXPECT_EQ(w.listView().rowCount(), 10);
}

TEST_F(Form1Test, FilterSearchesSixFieldsExactlyAndTheSubjectInAnyCase)
{
    auto& inbox = component->mailboxes[QStringLiteral("Inbox")];
    inbox[0].s_Subject = QStringLiteral("quarterly report");
    inbox[1].s_FromName = QStringLiteral("REPORT desk");
    inbox[2].s_HTMLText = QStringLiteral("<b>Report</b>");
    inbox[3].s_PlainText = QStringLiteral("see the Report");
    inbox[4].s_PlainText = QStringLiteral("see the report");
    inbox[5].s_From = QStringLiteral("Report <r@example.org>");
    inbox[6].s_FromAddress = QStringLiteral("Report@example.org");
    inbox[7].receivedAt = QDateTime(QDate(2031, 5, 6), QTime(7, 8, 9));
    inbox[8].attachments = QStringLiteral("Report.pdf");  // found only once its column is chosen
    Form1& w = loadSignedIn();
    const struct {
        const char* filter;
        QStringList subjects;
    } runs[] = {
        {"Report", {"quarterly report", "Subject 4", "Subject 6", "Subject 7"}},
        {"2031", {"Subject 8"}},  // only in the received date
    };
    for (const auto& run : runs) {
        control<QLineEdit>(w, "txtSearch")->setText(QString::fromUtf8(run.filter));
        w.PushButton3_Click();
        EXPECT_EQ(rowTexts(4), run.subjects) << run.filter;
    }
    control<QLineEdit>(w, "txtSearch")->setText(QStringLiteral("Report"));
    w.PushButton3_Click();
    EXPECT_EQ(w.listView().record(3).s_Subject, QStringLiteral("Subject 6"));
    tallyhive::showExtraColumns(w.listView(), {tallyhive::RecordField::Attachments});
    w.PushButton3_Click();
    EXPECT_EQ(rowTexts(4), QStringList({"quarterly report", "Subject 4", "Subject 6", "Subject 7", "Subject 9"}));
}

TEST_F(Form1Test, AfternoonMessagesGetTheNextDaysNumber)
{
    auto& inbox = component->mailboxes[QStringLiteral("Inbox")];
    inbox.resize(2);
    inbox[0].receivedAt = QDateTime(QDate(2024, 3, 19), QTime(13, 0));
    inbox[1].receivedAt = QDateTime(QDate(2024, 3, 19), QTime(11, 59));
    Form1& w = loadSignedIn();
    w.PushButton3_Click();
    const qint64 the19th = QDate(1899, 12, 30).daysTo(QDate(2024, 3, 19));
    EXPECT_EQ(rowTexts(6), QStringList({QString::number(the19th + 1), QString::number(the19th)}));
}

TEST_F(Form1Test, OtherOffersTheServersOwnFoldersAndFetchesTheOneChosen)
{
    component->fill(QStringLiteral("Projects/2026"), 3);
    component->fill(QStringLiteral("Archive"), 2);
    component->attributes[QStringLiteral("Projects")] = {QStringLiteral("\\Noselect"), QStringLiteral("\\HasChildren")};
    Form1& w = load();
    EXPECT_EQ(control<QComboBox>(w, "Combo2")->count(), 0);
    signIn();
    ASSERT_EQ(control<QComboBox>(w, "Combo2")->count(), 3);
    EXPECT_EQ(control<QComboBox>(w, "Combo2")->itemText(0), QStringLiteral("(all folders)"));
    EXPECT_EQ(control<QComboBox>(w, "Combo2")->itemText(1), QStringLiteral("Archive"));
    EXPECT_EQ(control<QComboBox>(w, "Combo2")->itemText(2), QStringLiteral("Projects/2026"));
    EXPECT_EQ(control<QComboBox>(w, "Combo2")->currentIndex(), -1);
    EXPECT_FALSE(control<QRadioButton>(w, "Option10")->isEnabled());
    EXPECT_TRUE(control<QRadioButton>(w, "Option3")->isChecked());

    // Choosing a folder chooses "Other:", and both are saved at once.
    control<QComboBox>(w, "Combo2")->setCurrentIndex(2);
    emit control<QComboBox>(w, "Combo2")->activated(2);
    EXPECT_TRUE(control<QRadioButton>(w, "Option10")->isChecked());
    EXPECT_FALSE(control<QRadioButton>(w, "Option3")->isChecked());
    EXPECT_EQ(settings.value("Combo2"), QStringLiteral("Projects/2026"));
    EXPECT_EQ(settings.value("Option10"), QStringLiteral("True"));
    EXPECT_EQ(settings.value("Option3"), QStringLiteral("False"));
    boxes.shown.clear();
    w.PushButton3_Click();
    EXPECT_EQ(rowTexts(4), QStringList({"Subject 1", "Subject 2", "Subject 3"}));
    EXPECT_TRUE(component->calls.contains(QStringLiteral("select Projects/2026")));
    EXPECT_EQ(boxes.texts(), QStringList({"Done."}));

    // An option leaves the drop-down as it is, unused.
    control<QRadioButton>(w, "Option6")->click();
    EXPECT_EQ(w.SelectedFolderName(), QStringLiteral("Sent"));
    EXPECT_EQ(control<QComboBox>(w, "Combo2")->currentText(), QStringLiteral("Projects/2026"));
    EXPECT_EQ(settings.value("Option10"), QStringLiteral("False"));

    // Disconnecting lets go of the server's list but not of the choice.
    w.PushButton1_Click();
    EXPECT_EQ(control<QComboBox>(w, "Combo2")->count(), 1);
    EXPECT_EQ(control<QComboBox>(w, "Combo2")->currentText(), QStringLiteral("Projects/2026"));
}

// Every folder in turn into one list, each row naming its folder; a folder
// that will not open is named in the closing box, and Get Some refuses.
TEST_F(Form1Test, AllFoldersReadsEveryFolderIntoOneListNamingEachRowsFolder)
{
    component->fill(QStringLiteral("Archive"), 2);
    component->attributes[QStringLiteral("Gone")] = {};  // listed, but refused when selected
    Form1& w = loadSignedIn();
    auto* folders = control<QComboBox>(w, "Combo2");
    ASSERT_EQ(folders->itemText(0), QStringLiteral("(all folders)"));
    folders->setCurrentIndex(0);
    emit folders->activated(0);
    QStringList statuses;
    component->onFetch = [&](int) { statuses << w.statusText(); };
    boxes.shown.clear();
    w.PushButton3_Click();
    const int folderColumn = w.listView().columnCount() - 1;
    EXPECT_EQ(w.listView().columnTitle(folderColumn), QStringLiteral("Folder"));
    EXPECT_EQ(rowTexts(folderColumn), QStringList(10, "Inbox") + QStringList(2, "Archive"));
    EXPECT_EQ(rowTexts(4).mid(9), QStringList({"Subject 10", "Subject 1", "Subject 2"}));
    EXPECT_EQ(statuses.value(11), QStringLiteral("Archive: reading mail 2 of 2"));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.startsWith(
        QStringLiteral("Done, but not every message could be read:\r\n\r\nGone: the folder could not be opened: ")))
        << qPrintable(boxes.shown[0].text);
    EXPECT_EQ(settings.value("Combo2"), QStringLiteral("*"));

    boxes.shown.clear();
    w.PushButton2_Click();
    EXPECT_EQ(boxes.texts(), QStringList({"Get Some reads a range of one folder. Choose a folder for it, or read every folder with Get All."}));

    // Stop ends the whole run: no other folder is opened after it.
    component->calls.clear();
    component->onFetch = [&](int number) {
        if (number == 3)
            w.PushButton3_Click();
    };
    boxes.shown.clear();
    w.PushButton3_Click();
    EXPECT_EQ(component->calls.filter(QStringLiteral("select ")), QStringList(2, "select Inbox"));  // counted, then read
    EXPECT_TRUE(boxes.texts().value(0).startsWith(QStringLiteral("Stopped after reading "))) << qPrintable(boxes.texts().join(u'|'));

    // An option chosen reads its folder alone.
    component->onFetch = {};
    control<QRadioButton>(w, "Option3")->click();
    w.PushButton3_Click();
    EXPECT_EQ(rowTexts(folderColumn), QStringList(10, "Inbox"));
}

TEST_F(Form1Test, ProgressShowsTheMessageAndTheRunsLastNumber)
{
    Form1& w = loadSignedIn();
    QStringList seen;
    component->onFetch = [&](int) { seen << w.statusText() + QStringLiteral("/%1").arg(control<tallyhive::StatusProgressBar>(w, "ProgressBar1")->position()); };
    w.PushButton3_Click();
    EXPECT_EQ(seen.value(6), QStringLiteral("Reading mail 7 of 10/100"));
}

TEST_F(Form1Test, ARunThatCouldNotReadEverythingSaysHowManyAndWhyInsteadOfDone)
{
    Form1& w = loadSignedIn();
    component->failFetches = {2, 3};  // refused alone: skipped, the run goes on
    component->endRunAt = 8;          // from here on nothing can be read
    w.PushButton3_Click();
    EXPECT_EQ(rowTexts(4), QStringList({"Subject 1", "Subject 4", "Subject 5", "Subject 6", "Subject 7"}));
    EXPECT_EQ(count(QStringLiteral("fetch 9 0")), 0);  // no burst of failed fetches
    EXPECT_EQ(boxes.texts(), QStringList({"Done, but 5 of the 10 messages asked for could not be read.\r\n\r\n"
                                          "The first reason: fetched 2"}));
}

TEST_F(Form1Test, TheStatusLineTellsOfAReconnectAndThenOfTheMessageAgain)
{
    Form1& w = loadSignedIn();
    QStringList statuses;
    component->onFetch = [&](int n) {
        if (n == 3) {
            component->sink->reconnecting(2, 3);
            statuses << w.statusText();
        }
    };
    w.PushButton3_Click();
    EXPECT_EQ(statuses, QStringList({"Connection lost; reconnecting (2 of 3)..."}));
    EXPECT_EQ(boxes.texts(), QStringList({"Done."}));
}

TEST_F(Form1Test, LogTroubleNeverStopsARunAndIsToldInItsClosingBox)
{
    Form1& w = loadSignedIn();
    const QString usual = logDir_.filePath(QStringLiteral("errorlog.txt"));
    const QString elsewhere = logDir_.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QFile::link(elsewhere, usual));
    w.PushButton3_Click();
    EXPECT_EQ(w.listView().rowCount(), 10);
    const QStringList fresh = QDir(logDir_.path()).entryList({QStringLiteral("errorlog-??????.txt")}, QDir::Files);
    ASSERT_EQ(fresh.size(), 1);
    EXPECT_EQ(boxes.texts(), QStringList({QStringLiteral("Done.\r\n\r\nThe error log %1 was refused: It is a symbolic link. "
                                                         "The log went to %2 instead.")
                                              .arg(usual, logDir_.filePath(fresh.first()))}));
    EXPECT_FALSE(QFile::exists(elsewhere));

    // Told with the shortfall too, and for a log that cannot be written at all.
    qputenv("TEMP", elsewhere.toUtf8());  // no such folder
    component->failFetches = {2};
    w.PushButton3_Click();
    EXPECT_EQ(boxes.texts().value(1), QStringLiteral("Done, but 1 of the 10 messages asked for could not be read.\r\n\r\n"
                                                     "The first reason: fetched 2\r\n\r\n"
                                                     "The error log %1/errorlog.txt could not be written at all: "
                                                     "No such file or directory.")
                                          .arg(elsewhere));
}

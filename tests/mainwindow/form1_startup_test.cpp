#include "form1_fixture.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLayout>
#include <QMenu>
#include <QTableView>
#include <QTest>
#include <QTimer>

using namespace tallyhive::testing;

namespace {

bool hasLine(const RecordingMessageBoxes& boxes, int line)
{
    return boxes.texts().join(u'|').contains(QStringLiteral("Form1.Form_Load at line %1").arg(line));
}

QStringList titlesOf(const tallyhive::platform::ListView& list)
{
    QStringList titles;
    for (int column = 1; column <= list.columnCount(); ++column)
        titles << list.columnTitle(column);
    return titles;
}

}  // namespace

TEST_F(Form1Test, ChosenColumnsComeBeforeTheHiddenDayNumberAndAreRemembered)
{
    settings.set(QStringLiteral("ListColumns"), QStringLiteral("Folder,Bogus,To"));
    Form1& w = load();
    EXPECT_EQ(titlesOf(w.listView()), QStringList({"From", "From Name", "From Address", "Subject", "Received Date", "To",
                                                   "Folder", "RecDate"}));
    EXPECT_EQ(w.listView().columnWidth(8), 0);

    // A right click on the titles offers the six with check marks; "Size" taken.
    QStringList offered;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (const QAction* action : menu->actions())
            offered << action->text() + (action->isChecked() ? "*" : "");
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(menu, Qt::Key_Down);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    auto* header = control<tallyhive::platform::QtListView>(w, "ListView1")->table().horizontalHeader();
    Q_EMIT header->customContextMenuRequested(QPoint(5, 5));
    EXPECT_EQ(offered, QStringList({"To*", "Cc", "Size", "Message-ID", "Attachments", "Folder*"}));
    EXPECT_EQ(titlesOf(w.listView()).mid(5), QStringList({"To", "Size", "Folder", "RecDate"}));
    EXPECT_EQ(settings.value("ListColumns"), QStringLiteral("To,Size,Folder"));
}

TEST_F(Form1Test, FirstRunShowsTheEmptySignInPanelInboxAndNoConnect)
{
    Form1& w = load();
    EXPECT_EQ(control<QCheckBox>(w, "Check1")->checkState(), Qt::Unchecked);
    EXPECT_EQ(control<QCheckBox>(w, "Check2")->checkState(), Qt::Unchecked);
    EXPECT_FALSE(control<QCheckBox>(w, "Check2")->isEnabled());
    EXPECT_TRUE(control<QLineEdit>(w, "Text1")->text().isEmpty());
    EXPECT_TRUE(control<QLineEdit>(w, "Text2")->text().isEmpty());
    EXPECT_TRUE(control<QRadioButton>(w, "Option3")->isChecked());
    EXPECT_FALSE(control<QRadioButton>(w, "Option5")->isChecked() || control<QRadioButton>(w, "Option6")->isChecked() || control<QRadioButton>(w, "Option7")->isChecked() || control<QRadioButton>(w, "Option9")->isChecked());
    EXPECT_EQ(control<QComboBox>(w, "Combo1")->currentText(), QStringLiteral("Live!ID"));
    EXPECT_EQ(control<QComboBox>(w, "Combo1")->count(), 4);
    EXPECT_EQ(control<QComboBox>(w, "Combo1")->itemText(2), QStringLiteral("@example.net"));
    EXPECT_EQ(control<QLabel>(w, "Label1")->text(), QStringLiteral("Total Number Of Emails: 0"));
    EXPECT_EQ(control<QLabel>(w, "Label2")->text(), QStringLiteral("Selected Emails: 0"));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Tallyhive"));
    EXPECT_EQ(w.listView().columnCount(), 6);
    EXPECT_EQ(w.listView().columnTitle(6), QStringLiteral("RecDate"));
    EXPECT_EQ(w.listView().columnWidth(6), 0);
    EXPECT_TRUE(component->calls.isEmpty());
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(settings.value(QStringLiteral("Combo1")), QStringLiteral("0"));
    EXPECT_FALSE(settings.has(QStringLiteral("Password")));

    // The six choices and the folder box sit in one row inside the frame, below its caption.
    auto* frame = control<QGroupBox>(w, "Frame2");
    if (QLayout* row = frame->layout())
        row->activate();
    int right = 0;
    for (const char* name : {"Option3", "Option5", "Option6", "Option7", "Option9", "Option10", "Combo2"}) {
        const QRect place = control<QWidget>(w, name)->geometry();
        EXPECT_TRUE(frame->rect().contains(place) && place.top() > frame->fontMetrics().height() / 2) << name;
        EXPECT_NEAR(place.center().y(), control<QWidget>(w, "Option3")->geometry().center().y(), 3) << name;
        EXPECT_GE(place.left(), right) << name;
        right = place.right();
    }
}

TEST_F(Form1Test, RememberedSignInWithAutoConnectConnectsBeforeTheWindowShows)
{
    settings.set("StayConnected", "1");
    settings.set("AutoConnect", "1");
    settings.set("User", "user");
    settings.set("Password", "secret");
    settings.set("Combo1", "1");
    Form1& w = load();
    EXPECT_EQ(control<QLineEdit>(w, "Text1")->text(), QStringLiteral("user"));
    EXPECT_EQ(control<QLineEdit>(w, "Text2")->text(), QStringLiteral("secret"));
    EXPECT_EQ(control<QCheckBox>(w, "Check2")->checkState(), Qt::Checked);
    EXPECT_TRUE(control<QCheckBox>(w, "Check2")->isEnabled());
    EXPECT_TRUE(w.isConnected());
    EXPECT_EQ(control<QPushButton>(w, "PushButton1")->text(), QStringLiteral("Disconnect"));
    EXPECT_EQ(w.statusText(), QStringLiteral("Connected to Windows Live Hotmail. Please select folder to extract emails from."));
    EXPECT_EQ(count(QStringLiteral("login user@example.org")), 1);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(settings.value("Password"), QStringLiteral("secret"));
}

TEST_F(Form1Test, AutoConnectWithoutRememberStillConnectsWithEmptyBoxes)
{
    settings.set("StayConnected", "0");
    settings.set("AutoConnect", "1");
    Form1& w = load();
    EXPECT_FALSE(control<QCheckBox>(w, "Check2")->isEnabled());
    EXPECT_EQ(control<QCheckBox>(w, "Check2")->checkState(), Qt::Checked);
    EXPECT_EQ(count(QStringLiteral("login ")), 1);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.startsWith(QStringLiteral("Invalid login.")));
    EXPECT_FALSE(w.isConnected());
    EXPECT_EQ(w.statusText(), QStringLiteral("Disconnected from Windows Live Hotmail."));
    EXPECT_EQ(w.session().current, nullptr);
}

TEST_F(Form1Test, UnreadableStayConnectedReportsLine160AndRestoresTheSignIn)
{
    settings.set("StayConnected", "abc");
    settings.set("User", "someone");
    Form1& w = load();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(hasLine(boxes, 160));
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Application Error"));
    EXPECT_EQ(control<QCheckBox>(w, "Check1")->checkState(), Qt::Checked);
    EXPECT_EQ(control<QLineEdit>(w, "Text1")->text(), QStringLiteral("someone"));
    EXPECT_EQ(settings.value("StayConnected"), QStringLiteral("1"));
}

TEST_F(Form1Test, SuffixIndexOutsideTheListReportsLine777AndSelectsNothing)
{
    settings.set("Combo1", "-1");
    Form1& w = load();
    EXPECT_EQ(control<QComboBox>(w, "Combo1")->currentIndex(), -1);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(settings.value("Combo1"), QStringLiteral("-1"));

    settings.set("Combo1", "4");
    Form1& again = load();
    EXPECT_TRUE(hasLine(boxes, 777));
    EXPECT_EQ(control<QComboBox>(again, "Combo1")->currentIndex(), -1);
    control<QLineEdit>(again, "Text1")->setText(QStringLiteral("name"));
    EXPECT_EQ(again.LoginName(), QStringLiteral("name"));
}

TEST_F(Form1Test, FolderOptionsRestoreTheLastTrueAndSaveAllFive)
{
    for (const char* key : {"Option3", "Option5", "Option6", "Option7", "Option9"})
        settings.set(key, "False");
    Form1& none = load();
    EXPECT_EQ(none.SelectedFolderName(), QString());

    settings.set("Option5", "True");
    settings.set("Option9", "true");
    Form1& w = load();
    EXPECT_TRUE(control<QRadioButton>(w, "Option9")->isChecked());
    EXPECT_FALSE(control<QRadioButton>(w, "Option5")->isChecked());
    EXPECT_EQ(w.SelectedFolderName(), QStringLiteral("Deleted"));
    EXPECT_EQ(settings.value("Option5"), QStringLiteral("False"));
    EXPECT_EQ(settings.value("Option9"), QStringLiteral("True"));

    control<QRadioButton>(w, "Option7")->click();
    EXPECT_EQ(w.SelectedFolderName(), QStringLiteral("Junk"));
    EXPECT_EQ(settings.writes.mid(settings.writes.size() - 5),
              QStringList({"Option3=False", "Option5=False", "Option6=False", "Option7=True", "Option9=False"}));
    control<QRadioButton>(w, "Option7")->click();  // clicking the selected option keeps it selected
    EXPECT_TRUE(control<QRadioButton>(w, "Option7")->isChecked());
}

TEST_F(Form1Test, UnreadableFolderValueReportsItsLineAndLeavesTheOptionAsItWas)
{
    settings.set("Option6", "maybe");
    Form1& w = load();
    EXPECT_TRUE(hasLine(boxes, 190));
    EXPECT_TRUE(control<QRadioButton>(w, "Option3")->isChecked());
    EXPECT_FALSE(control<QRadioButton>(w, "Option6")->isChecked());
}

TEST_F(Form1Test, DimmedAutoConnectDoesNotConnect)
{
    settings.set("StayConnected", "1");
    settings.set("AutoConnect", "2");
    Form1& w = load();
    EXPECT_EQ(control<QCheckBox>(w, "Check2")->checkState(), Qt::PartiallyChecked);
    EXPECT_TRUE(component->calls.isEmpty());
}

TEST_F(Form1Test, AChosenOtherFolderIsRestoredAndUsedBeforeTheServerListsFolders)
{
    Form1& first = load();
    EXPECT_FALSE(control<QRadioButton>(first, "Option10")->isEnabled());  // nothing for it to stand for yet
    EXPECT_FALSE(control<QComboBox>(first, "Combo2")->isEnabled());
    EXPECT_FALSE(control<QRadioButton>(first, "Option10")->isChecked());

    settings.set("Option3", "0");
    settings.set("Option10", "1");
    settings.set("Combo2", "Projects/2026");
    component->fill(QStringLiteral("Projects/2026"), 3);
    Form1& w = load();
    EXPECT_TRUE(control<QRadioButton>(w, "Option10")->isChecked());
    EXPECT_TRUE(control<QRadioButton>(w, "Option10")->isEnabled());
    EXPECT_FALSE(control<QRadioButton>(w, "Option3")->isChecked());
    EXPECT_EQ(control<QComboBox>(w, "Combo2")->currentText(), QStringLiteral("Projects/2026"));
    EXPECT_EQ(w.SelectedFolderName(), QStringLiteral("Projects/2026"));
    EXPECT_EQ(settings.value("Option10"), QStringLiteral("True"));
    EXPECT_EQ(settings.value("Combo2"), QStringLiteral("Projects/2026"));

    settings.set("Option10", "soon");
    Form1& unreadable = load();
    EXPECT_TRUE(hasLine(boxes, 198));
    EXPECT_FALSE(control<QRadioButton>(unreadable, "Option10")->isChecked());
}

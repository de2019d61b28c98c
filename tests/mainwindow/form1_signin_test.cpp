#include "form1_fixture.h"

using namespace tallyhive::testing;

TEST_F(Form1Test, APasswordIsStoredOnlyWhileRememberMeIsTicked)
{
    Form1& w = load();
    control<QLineEdit>(w, "Text1")->setText(QStringLiteral("user"));
    control<QLineEdit>(w, "Text2")->setText(QStringLiteral("typed secret"));
    EXPECT_EQ(settings.value("User"), QStringLiteral("user"));
    EXPECT_FALSE(settings.value("Password").contains(QStringLiteral("secret")));
    for (const QString& write : settings.writes)
        EXPECT_FALSE(write.contains(QStringLiteral("typed secret"))) << qPrintable(write);

    control<QCheckBox>(w, "Check1")->setCheckState(Qt::Checked);
    EXPECT_EQ(settings.value("Password"), QStringLiteral("typed secret"));
    EXPECT_EQ(settings.value("StayConnected"), QStringLiteral("1"));
    EXPECT_TRUE(control<QCheckBox>(w, "Check2")->isEnabled());
    control<QLineEdit>(w, "Text2")->setText(QStringLiteral("changed"));
    EXPECT_EQ(settings.value("Password"), QStringLiteral("changed"));

    control<QCheckBox>(w, "Check2")->setCheckState(Qt::Checked);
    control<QCheckBox>(w, "Check1")->setCheckState(Qt::Unchecked);
    EXPECT_EQ(settings.value("Password"), QString());
    EXPECT_EQ(settings.value("User"), QString());
    EXPECT_EQ(settings.value("AutoConnect"), QStringLiteral("0"));
    EXPECT_FALSE(control<QCheckBox>(w, "Check2")->isEnabled());
    EXPECT_TRUE(control<QLineEdit>(w, "Text1")->text().isEmpty());
}

TEST_F(Form1Test, AStalePasswordIsWipedWhenRememberMeIsOff)
{
    settings.set("StayConnected", "0");
    settings.set("Password", "left behind");
    load();
    EXPECT_EQ(settings.value("Password"), QString());
}

TEST_F(Form1Test, LoginNameTakesTheSuffixOnlyWhenItBeginsWithAt)
{
    Form1& w = load();
    control<QLineEdit>(w, "Text1")->setText(QStringLiteral("name"));
    control<QComboBox>(w, "Combo1")->setCurrentIndex(2);
    EXPECT_EQ(w.LoginName(), QStringLiteral("name@example.net"));
    EXPECT_EQ(settings.value("Combo1"), QStringLiteral("2"));
    control<QComboBox>(w, "Combo1")->setCurrentIndex(0);
    EXPECT_EQ(w.LoginName(), QStringLiteral("name"));
}

TEST_F(Form1Test, ConnectKeepsTheSessionAndDisconnectReturnsToTheStart)
{
    Form1& w = loadSignedIn();
    EXPECT_NE(w.session().current, nullptr);
    EXPECT_EQ(count(QStringLiteral("list \"\" *")), 1);
    EXPECT_EQ(w.session().current->PORT, 993);

    w.PushButton1_Click();
    EXPECT_FALSE(w.isConnected());
    EXPECT_EQ(w.session().current, nullptr);
    EXPECT_EQ(count(QStringLiteral("disconnect")), 1);
    EXPECT_EQ(w.statusText(), QStringLiteral("Disconnected from Windows Live Hotmail."));
    // Without "Remember me" the sign-in goes with the connection.
    EXPECT_TRUE(control<QLineEdit>(w, "Text1")->text().isEmpty());
    EXPECT_EQ(settings.value("User"), QString());
}

TEST_F(Form1Test, DisconnectKeepsTheSignInOfARememberedUser)
{
    Form1& w = load();
    control<QCheckBox>(w, "Check1")->setCheckState(Qt::Checked);
    signIn();
    w.PushButton1_Click();
    EXPECT_EQ(control<QLineEdit>(w, "Text1")->text(), QStringLiteral("user"));
    EXPECT_EQ(settings.value("Password"), QStringLiteral("secret"));
}

TEST_F(Form1Test, ARefusedLoginShowsOneBoxAndStaysDisconnected)
{
    Form1& w = load();
    control<QLineEdit>(w, "Text1")->setText(QStringLiteral("user@example.org"));
    control<QLineEdit>(w, "Text2")->setText(QStringLiteral("wrong"));
    w.listView().addRow({QStringLiteral("old row")});
    w.PushButton1_Click();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Invalid login. Please double-check your username and password.\r\n\r\n"));
    EXPECT_EQ(control<QPushButton>(w, "PushButton1")->text(), QStringLiteral("1. Connect"));
    EXPECT_EQ(w.statusText(), QStringLiteral("Disconnected from Windows Live Hotmail."));
    EXPECT_EQ(w.listView().rowCount(), 0);
    EXPECT_EQ(w.session().current, nullptr);
    EXPECT_EQ(count(QStringLiteral("disconnect")), 0);
}

TEST_F(Form1Test, HelpNamesTheDownloadPage)
{
    qputenv("TALLYHIVE_DOWNLOAD_PAGE", "https://downloads.example.org/");
    Form1& w = load();
    w.PushButton11_Click();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text,
              QStringLiteral("Having problems connecting? Make sure you have the latest version by downloading from "
                             "https://downloads.example.org/")
                  + QString(QStringLiteral("\r\n")).repeated(12));
    qunsetenv("TALLYHIVE_DOWNLOAD_PAGE");
}

// The real main window against a scripted server: clicks that arrive while a
// slow server keeps "1. Connect" waiting (the connect command never runs
// inside itself and its session stays alive), and folder options on a server
// whose folders have other names but carry their RFC 6154 roles, as Gmail's
// and Outlook's do.
#include "form1_fixture.h"
#include "platform/mailbox/mailbox_component.h"
#include "program/component_options.h"
#include "program/config.h"
#include "support/scripted_imap_server.h"

using namespace tallyhive::testing;

namespace {

class Form1ScriptedServerTest : public Form1Test {
protected:
    void TearDown() override
    {
        Form1Test::TearDown();
        server.reset();
        qunsetenv("TALLYHIVE_CA_FILE");
        qputenv("TALLYHIVE_IMAP_HOST", "127.0.0.1");
        qunsetenv("TALLYHIVE_IMAP_PORT");
    }

    // The window with the real IMAP component, the server's account typed in.
    Form1& loadAgainst(ScriptedImapServer::Script script)
    {
        server = std::make_unique<ScriptedImapServer>(std::move(script));
        server->applyEnvironment();
        imapServer = tallyhive::imapServerFromConfig();
        deployment = tallyhive::config::deployment();
        window = std::make_unique<Form1>(
            tallyhive::Form1Services{boxes, settings, spreadsheets, imapServer, deployment, [] { return tallyhive::platform::createImapComponent(tallyhive::imapOptionsFromConfig()); }, &browser});
        window->Form_Load();
        control<QLineEdit>(*window, "Text1")->setText(QStringLiteral("tester@example.org"));
        control<QComboBox>(*window, "Combo1")->setCurrentIndex(0);
        control<QLineEdit>(*window, "Text2")->setText(QStringLiteral("Correct-Horse-7"));
        return *window;
    }
    Form1& loadAgainstASlowServer()
    {
        auto script = ScriptedImapServer::normalMailbox(3);
        script.signInDelayMs = 600;
        return loadAgainst(script);
    }

    // Runs clicks once, at the first event pass after the LOGIN went out.
    void duringSignIn(std::function<void()> clicks)
    {
        tallyhive::setPendingEventsObserver([this, clicks, done = false]() mutable {
            if (done || !server->commands().join(u',').contains(QStringLiteral("LOGIN")))
                return;
            done = true;
            clicks();
        });
    }

    std::unique_ptr<ScriptedImapServer> server;
};

TEST_F(Form1ScriptedServerTest, SecondConnectClickThenGetAllOrDisconnectCannotFreeTheRunningSession)
{
    Form1& w = loadAgainstASlowServer();
    duringSignIn([&] {
        control<QPushButton>(w, "PushButton1")->click();  // ignored: the connect command is running
        control<QPushButton>(w, "PushButton3")->click();  // refused: not connected yet
        control<QPushButton>(w, "PushButton2")->click();
        control<QPushButton>(w, "PushButton1")->click();
    });
    control<QPushButton>(w, "PushButton1")->click();
    tallyhive::setPendingEventsObserver(nullptr);
    ASSERT_TRUE(w.isConnected()) << qPrintable(boxes.texts().join(u'|'));
    EXPECT_NE(w.session().current, nullptr);
    EXPECT_EQ(boxes.texts(), QStringList({"Please connect first (Step 1) before using this feature.",
                                          "Please connect first (Step 1) before using this feature."}));
    EXPECT_EQ(server->commands().filter(QStringLiteral("LOGIN")).size(), 1);
    EXPECT_EQ(server->commands().filter(QStringLiteral("LIST")).size(), 1);

    // The connected window fetches normally afterwards.
    boxes.shown.clear();
    w.PushButton3_Click();
    EXPECT_EQ(w.listView().rowCount(), 3);
    EXPECT_EQ(boxes.texts(), QStringList({"Done."}));
}

TEST_F(Form1ScriptedServerTest, DisconnectDuringAFetchRunsSlowSignInLeavesTheRunItsSession)
{
    Form1& w = loadAgainstASlowServer();
    control<QPushButton>(w, "PushButton1")->click();
    ASSERT_TRUE(w.isConnected());
    w.session().current.reset();  // as after an earlier fetch run: the run makes its own session
    // "Disconnect" while the run's own sign-in waits for the server.
    tallyhive::setPendingEventsObserver([&, done = false]() mutable {
        if (done || server->commands().filter(QStringLiteral("LOGIN")).size() < 2)
            return;
        done = true;
        control<QPushButton>(w, "PushButton1")->click();
        control<QPushButton>(w, "PushButton1")->click();  // "1. Connect" waits for the stopped run to end
    });
    w.PushButton3_Click();
    tallyhive::setPendingEventsObserver(nullptr);
    EXPECT_FALSE(w.isConnected());
    EXPECT_EQ(boxes.texts(), QStringList());  // the user ended the sign-in: no "Invalid login", and the ignored click tries none
    EXPECT_EQ(w.session().current, nullptr);
    EXPECT_EQ(control<QPushButton>(w, "PushButton3")->text(), QStringLiteral("2a. Get All Emails"));
}

TEST_F(Form1ScriptedServerTest, EachOptionTakesTheFolderWithItsRoleWhenItsOwnNameIsMissing)
{
    ScriptedImapServer::Script script;
    script.mailboxes = {{QStringLiteral("INBOX"), {ScriptedImapServer::sampleMessage(1)}},
                        {QStringLiteral("[Mail]/Sent Mail"), {ScriptedImapServer::sampleMessage(2), ScriptedImapServer::sampleMessage(3)}},
                        {QStringLiteral("Deleted Items"), {ScriptedImapServer::sampleMessage(4)}},
                        {QStringLiteral("Drafts"), {}},
                        {QStringLiteral("Old Drafts"), {ScriptedImapServer::sampleMessage(5)}}};
    script.specialUse = {{QStringLiteral("[Mail]/Sent Mail"), "\\Sent"},
                         {QStringLiteral("Deleted Items"), "\\Trash"},
                         {QStringLiteral("Old Drafts"), "\\Drafts"}};
    Form1& w = loadAgainst(script);
    w.PushButton1_Click();
    ASSERT_TRUE(w.isConnected()) << qPrintable(boxes.texts().join(u'|'));

    control<QRadioButton>(w, "Option6")->click();
    w.PushButton3_Click();
    EXPECT_EQ(rowTexts(4), QStringList({"Subject 2", "Subject 3"}));

    control<QRadioButton>(w, "Option9")->click();
    w.PushButton3_Click();
    EXPECT_EQ(rowTexts(4), QStringList({"Subject 4"}));

    // A folder of the option's own name wins over a role elsewhere.
    boxes.shown.clear();
    control<QRadioButton>(w, "Option5")->click();
    w.PushButton3_Click();
    EXPECT_EQ(w.listView().rowCount(), 0);
    EXPECT_EQ(boxes.texts(), QStringList({"There are no emails in the Folder you selected."}));

    // No folder of the name and none with the role: the selection fails as before.
    boxes.shown.clear();
    control<QRadioButton>(w, "Option7")->click();
    w.PushButton3_Click();
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_TRUE(boxes.shown[0].text.startsWith(QStringLiteral("Invalid login.")));
    EXPECT_FALSE(server->commands().filter(QStringLiteral("SELECT \"Junk\"")).isEmpty());
}

}  // namespace

// Names no decoding gives back as listed, among more folders than are offered.
TEST_F(Form1ScriptedServerTest, EachOfferedFolderOpensByItsListedBytesAndACutListSaysSo)
{
    auto script = ScriptedImapServer::normalMailbox(1);
    for (int n = 0; n < 10000; ++n)
        script.mailboxes[QStringLiteral("x/%1").arg(n)];
    const std::map<QString, QByteArray> listed{{"bad&-utf7&ZZZ", "bad&-utf7&ZZZ"}, {"tab\\u0009here\\u0001", "tab\there\x01"},
                                               {"latin1 \\xE9t\\xE9", "latin1 \xe9t\xe9"}, {"&AGE-lias", "&AGE-lias"}};
    int n = 2;
    for (const auto& [shown, bytes] : listed) {
        script.mailboxes[shown] = {ScriptedImapServer::sampleMessage(n++)};
        script.listedAs[shown] = bytes;
    }
    Form1& w = loadAgainst(script);
    w.PushButton1_Click();
    ASSERT_TRUE(w.isConnected()) << qPrintable(boxes.texts().join(u'|'));
    EXPECT_EQ(control<QComboBox>(w, "Combo2")->itemText(control<QComboBox>(w, "Combo2")->count() - 1), QStringLiteral("(only the first 10000 of 10004 folders, in alphabetical order)"));
    EXPECT_EQ(control<QComboBox>(w, "Combo2")->itemText(1), QStringLiteral("&AGE-lias"));
    QStringList opened;
    for (const auto& [shown, bytes] : listed) {
        control<QComboBox>(w, "Combo2")->setCurrentIndex(control<QComboBox>(w, "Combo2")->findText(shown));
        emit control<QComboBox>(w, "Combo2")->activated(control<QComboBox>(w, "Combo2")->currentIndex());
        w.PushButton3_Click();
        opened << rowTexts(4);
    }
    EXPECT_EQ(opened, QStringList({"Subject 2", "Subject 3", "Subject 4", "Subject 5"}));
}

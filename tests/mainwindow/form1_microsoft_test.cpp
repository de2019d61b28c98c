// The sign-in panel when the mailbox takes Microsoft account sign-in: the
// browser only when no token will do, plain words for every failure, and
// fetch runs that never open the browser.
#include "form1_fixture.h"

using namespace tallyhive::testing;
using Outcome = tallyhive::platform::BrowserSignIn::Outcome;

namespace {

class Form1MicrosoftTest : public Form1Test {
protected:
    void SetUp() override
    {
        Form1Test::SetUp();
        qputenv("TALLYHIVE_SIGN_IN", "microsoft");
        qputenv("TALLYHIVE_OAUTH_CLIENT_ID", "00000000-aaaa-bbbb-cccc-000000000000");
        browser.grantedTokens = {QStringLiteral("token-1")};
    }
    void TearDown() override
    {
        Form1Test::TearDown();
        qunsetenv("TALLYHIVE_SIGN_IN");
        qunsetenv("TALLYHIVE_OAUTH_CLIENT_ID");
        qputenv("TALLYHIVE_OAUTH_AUTHORITY", "http://127.0.0.1:1/consumers/oauth2/v2.0");
    }

    void connectAs(const QString& name = QStringLiteral("user"))
    {
        control<QLineEdit>(*window, "Text1")->setText(name);
        control<QComboBox>(*window, "Combo1")->setCurrentIndex(1);
        window->PushButton1_Click();
    }
    bool sawLogin() const { return component->calls.filter(QStringLiteral("login")).size() > 0; }
};

TEST_F(Form1MicrosoftTest, FirstConnectSignsInInTheBrowserAndAuthenticatesWithTheToken)
{
    Form1& w = load();
    EXPECT_FALSE(control<QLineEdit>(w, "Text2")->isEnabled());
    EXPECT_EQ(control<QLineEdit>(w, "Text2")->placeholderText(), QStringLiteral("Not needed"));
    EXPECT_LE(control<QLineEdit>(w, "Text2")->fontMetrics().horizontalAdvance(control<QLineEdit>(w, "Text2")->placeholderText()), control<QLineEdit>(w, "Text2")->width() - 8);
    QString statusDuringWait;
    QString helpDuringWait;
    browser.duringBrowser = [&] {
        statusDuringWait = w.statusText();
        helpDuringWait = control<QLabel>(w, "lblSignInHelp")->isHidden() ? QString() : control<QLabel>(w, "lblSignInHelp")->text();
        return Outcome::SignedIn;
    };
    connectAs();
    EXPECT_EQ(statusDuringWait, QStringLiteral("Finish signing in in your browser (click \"1. Connect\" again to cancel)..."));
    EXPECT_EQ(browser.browserOpenedFor, QStringList({"user@example.org"}));
    ASSERT_TRUE(w.isConnected()) << qPrintable(boxes.texts().join(u'|'));
    EXPECT_EQ(count(QStringLiteral("xoauth2 user@example.org")), 1);
    EXPECT_FALSE(sawLogin());
    EXPECT_TRUE(boxes.shown.empty());
    // What to do about an error on Microsoft's page is said while the browser is open.
    EXPECT_TRUE(helpDuringWait.contains(QStringLiteral("error code beginning with AADSTS")));
    EXPECT_TRUE(control<QLabel>(w, "lblSignInHelp")->isHidden());

    // Disconnect with "Remember me" off forgets the sign-in.
    w.PushButton1_Click();
    EXPECT_EQ(browser.signOuts, 1);
}

TEST_F(Form1MicrosoftTest, ATokenAtHandOrRefreshedSignsInWithoutTheBrowser)
{
    browser.remember(QStringLiteral("user@example.org"));
    browser.refreshedTokens = {QStringLiteral("token-1")};
    Form1& w = load();
    connectAs();
    ASSERT_TRUE(w.isConnected());
    EXPECT_TRUE(browser.browserOpenedFor.isEmpty());

    // A refused token is refreshed once before the browser opens.
    control<QCheckBox>(w, "Check1")->setCheckState(Qt::Checked);
    w.PushButton1_Click();
    EXPECT_EQ(browser.signOuts, 0);
    component->acceptedToken = QStringLiteral("token-2");
    browser.refreshedTokens = {QStringLiteral("token-2")};
    w.PushButton1_Click();
    ASSERT_TRUE(w.isConnected());
    EXPECT_TRUE(browser.browserOpenedFor.isEmpty());
    EXPECT_EQ(browser.tokenRequests.mid(browser.tokenRequests.size() - 2), QList<bool>({false, true}));
}

TEST_F(Form1MicrosoftTest, ARefusedTokenThatCannotBeRefreshedOpensTheBrowserOnce)
{
    browser.remember(QStringLiteral("user@example.org"), QStringLiteral("revoked"));
    component->acceptedToken = QStringLiteral("fresh");
    browser.grantedTokens = {QStringLiteral("fresh")};
    Form1& w = load();
    connectAs();
    ASSERT_TRUE(w.isConnected()) << qPrintable(boxes.texts().join(u'|'));
    EXPECT_EQ(browser.browserOpenedFor.size(), 1);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(Form1MicrosoftTest, EachFailureGetsItsOwnPlainBoxAndTheCaptionStays)
{
    const QString mismatch = QStringLiteral("state mismatch");
    const std::vector<std::tuple<Outcome, QString, QString>> cases{
        {Outcome::Declined, mismatch, QStringLiteral("The sign-in was declined in the browser")},
        {Outcome::TimedOut, mismatch, QStringLiteral("within 5 minutes")},
        {Outcome::Unreachable, mismatch, QStringLiteral("could not be reached")},
        {Outcome::Failed, mismatch, QStringLiteral("The sign-in service said: state mismatch")},
        {Outcome::Unexpected, mismatch, QStringLiteral("The Microsoft sign-in service answered unexpectedly (state mismatch).")},
        // Refusals Microsoft sent back with their code: the next step each asks for.
        {Outcome::Failed, QStringLiteral("AADSTS50194: Application is not configured as a multi-tenant application."),
         QStringLiteral("does not match its registration: choose \"Microsoft sign-in...\"")},
        {Outcome::Declined, QStringLiteral("AADSTS65001: The user or administrator has not consented to use the application."),
         QStringLiteral("Ask your administrator to grant consent for the application 00000000-aaaa-bbbb-cccc-000000000000")},
        {Outcome::Failed, QStringLiteral("AADSTS53003: Access has been blocked by Conditional Access policies."),
         QStringLiteral("Ask your administrator")},
        {Outcome::Failed, QStringLiteral("AADSTS65004: User declined to consent to access the app."),
         QStringLiteral("The sign-in was declined in the browser")},
        {Outcome::Failed, QStringLiteral("AADSTS90014: The required field is missing."),
         QStringLiteral("The sign-in service said: AADSTS90014: The required field is missing.")},
    };
    Form1& w = load();
    for (const auto& [outcome, detail, words] : cases) {
        boxes.shown.clear();
        browser.detail = detail;
        browser.browserOutcome = outcome;
        connectAs();
        EXPECT_EQ(control<QPushButton>(w, "PushButton1")->text(), QStringLiteral("1. Connect"));
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_TRUE(boxes.shown[0].text.contains(words)) << qPrintable(boxes.shown[0].text);
        EXPECT_FALSE(boxes.shown[0].text.contains(QStringLiteral("Invalid login")));
        EXPECT_EQ(w.session().current, nullptr);
    }
    EXPECT_EQ(count(QStringLiteral("connect 127.0.0.1")), 0);

    // A token granted in the browser and still refused is someone else's.
    boxes.shown.clear();
    browser.browserOutcome = Outcome::SignedIn;
    browser.grantedTokens = {QStringLiteral("someone-else")};
    connectAs();
    EXPECT_FALSE(w.isConnected());
    EXPECT_EQ(boxes.texts(),
              QStringList({"The mail server did not accept the sign-in for user@example.org. Either IMAP is switched off for "
                           "this mailbox: in Outlook.com open Settings, Mail, Forwarding and IMAP, switch on \"Let devices and "
                           "apps use IMAP\" and save. Or another account was chosen in the browser than the one you meant. "
                           "Then click \"1. Connect\" again."}));

    // Outlook.com takes the token and refuses the next command: "BAD User is authenticated but not connected."
    boxes.shown.clear();
    browser.grantedTokens = {QStringLiteral("token-1")};
    component->mailboxServed = false;
    connectAs();
    EXPECT_FALSE(w.isConnected());
    EXPECT_EQ(boxes.texts(),
              QStringList({"The mail server accepted the sign-in for user@example.org but would not open its mailbox. Either IMAP "
                           "is switched off for it: in Outlook.com open Settings, Mail, Forwarding and IMAP, switch on \"Let "
                           "devices and apps use IMAP\" and save. Or the account chosen in the browser is not the one whose "
                           "mailbox you meant. Then click \"1. Connect\" again."}));
}

// Outlook takes the browser account's token for any address, then will not
// open a mailbox that account cannot read: the address the browser signed in
// is tried once, and when that is refused too the next sign-in lets the
// user choose the account.
TEST_F(Form1MicrosoftTest, AMailboxTheBrowserAccountCannotOpenIsReadAsThatAccountOrTheUserChooses)
{
    browser.signedInAs = QStringLiteral("second@example.net");
    component->acceptedUser = QStringLiteral("second@example.net");
    component->unservedMailbox = QStringLiteral("user@example.org");
    browser.grantedTokens = {QStringLiteral("token-1"), QStringLiteral("token-1"), QStringLiteral("token-1")};
    Form1& w = load();
    connectAs();
    ASSERT_TRUE(w.isConnected()) << qPrintable(boxes.texts().join(u'|'));
    EXPECT_EQ(component->calls.filter(QStringLiteral("xoauth2")),
              QStringList({"xoauth2 user@example.org", "xoauth2 second@example.net"}));

    w.PushButton1_Click();
    component->mailboxServed = false;
    connectAs();
    EXPECT_FALSE(w.isConnected());
    EXPECT_TRUE(boxes.shown.back().text.startsWith(QStringLiteral("The mail server accepted the sign-in for second@example.net but")));
    component->mailboxServed = true;
    connectAs();
    EXPECT_EQ(browser.choosingAccount, QList<bool>({false, false, true}));
}

TEST_F(Form1MicrosoftTest, TheMailboxSignedInInTheBrowserIsTheOneReadAndIsNamedOnce)
{
    browser.signedInAs = QStringLiteral("second@example.net");
    component->acceptedUser = QStringLiteral("second@example.net");
    Form1& w = load();
    connectAs();
    ASSERT_TRUE(w.isConnected()) << qPrintable(boxes.texts().join(u'|'));
    EXPECT_EQ(component->calls.filter(QStringLiteral("xoauth2")),
              QStringList({"xoauth2 user@example.org", "xoauth2 second@example.net"}));
    EXPECT_EQ(boxes.texts(), QStringList({"You signed in in the browser as second@example.net, so Tallyhive reads the mailbox "
                                          "second@example.net, not user@example.org. To read user@example.org, click "
                                          "\"Disconnect\", then \"1. Connect\" and choose that account in the browser."}));

    // A fetch run reads the same mailbox, and nothing is said again.
    boxes.shown.clear();
    w.PushButton3_Click();
    EXPECT_EQ(count(QStringLiteral("xoauth2 second@example.net")), 2);
    EXPECT_EQ(count(QStringLiteral("xoauth2 user@example.org")), 1);
    EXPECT_EQ(boxes.texts(), QStringList({"Done."}));
}

TEST_F(Form1MicrosoftTest, ABrowserThatDidNotOpenGetsTheAddressToCopyAndTheWaitGoesOn)
{
    Form1& w = load();
    browser.duringBrowser = [&] {
        browser.browserNotOpened(QStringLiteral("https://login.example/authorize?client_id=1&state=<a href=x>"));
        return Outcome::SignedIn;
    };
    connectAs();
    EXPECT_TRUE(w.isConnected());
    EXPECT_EQ(boxes.texts(), QStringList({"The browser could not be opened. Copy this address into your browser to sign in; "
                                          "Tallyhive waits for you:\n\nhttps://login.example/authorize?client_id=1&state=<a href=x>"}));
}

TEST_F(Form1MicrosoftTest, AServiceThatFailsDuringRefreshIsReportedWithoutTheBrowser)
{
    // Nothing at hand; a remembered token the server refuses.
    const std::vector<std::pair<Outcome, QString>> cases{{Outcome::Unreachable, QStringLiteral("could not be reached")},
                                                         {Outcome::Unexpected, QStringLiteral("answered unexpectedly")}};
    Form1& w = load();
    for (const auto& [outcome, words] : cases) {
        boxes.shown.clear();
        browser.refreshOutcome = outcome;
        if (outcome == Outcome::Unexpected)
            browser.remember(QStringLiteral("user@example.org"), QStringLiteral("refused"));
        connectAs();
        EXPECT_FALSE(w.isConnected());
        EXPECT_TRUE(browser.browserOpenedFor.isEmpty());
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_TRUE(boxes.shown[0].text.contains(words)) << qPrintable(boxes.shown[0].text);
    }
}

TEST_F(Form1MicrosoftTest, AutoconnectSignsInDuringLoadOnlyWithoutTheBrowser)
{
    for (const char* key : {"StayConnected", "AutoConnect", "Combo1"})
        settings.set(QString::fromLatin1(key), QStringLiteral("1"));
    settings.set("User", "user");
    browser.remember(QStringLiteral("user@example.org"), QStringLiteral("token-1"));
    EXPECT_TRUE(load().isConnected());

    browser.signOut();
    bool shownFirst = false;
    browser.duringBrowser = [&] {
        shownFirst = window->isVisible();
        return Outcome::SignedIn;
    };
    Form1& w = load();
    EXPECT_FALSE(w.isConnected());
    w.show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(shownFirst);
    EXPECT_TRUE(w.isConnected()) << qPrintable(boxes.texts().join(u'|'));
}

TEST_F(Form1MicrosoftTest, ASecondClickWhileTheBrowserWaitsCancelsIt)
{
    Form1& w = load();
    browser.duringBrowser = [&] {
        control<QPushButton>(w, "PushButton1")->click();
        // Get All is refused: the caption still says the window is not connected.
        control<QPushButton>(w, "PushButton3")->click();
        return browser.cancels > 0 ? Outcome::Cancelled : Outcome::SignedIn;
    };
    connectAs();
    EXPECT_EQ(browser.cancels, 1);
    EXPECT_EQ(control<QPushButton>(w, "PushButton1")->text(), QStringLiteral("1. Connect"));
    ASSERT_EQ(boxes.texts().size(), 2);
    EXPECT_EQ(boxes.texts()[0], QStringLiteral("Please connect first (Step 1) before using this feature."));
    EXPECT_TRUE(boxes.texts()[1].startsWith(QStringLiteral("The sign-in was cancelled. If Microsoft's page showed an error code")));
    EXPECT_EQ(count(QStringLiteral("connect 127.0.0.1")), 0);
}

TEST_F(Form1MicrosoftTest, FetchRunsSignInWithTheTokenAndNeverOpenTheBrowser)
{
    Form1& w = load();
    connectAs();
    ASSERT_TRUE(w.isConnected());
    w.PushButton3_Click();
    EXPECT_EQ(w.listView().rowCount(), 10);
    EXPECT_EQ(count(QStringLiteral("xoauth2 user@example.org")), 2);

    // The server stops taking the token and no refresh helps: a box says how
    // to sign in again, and no browser opens.
    boxes.shown.clear();
    component->acceptedToken = QStringLiteral("another");
    w.PushButton3_Click();
    EXPECT_EQ(browser.browserOpenedFor.size(), 1);
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_TRUE(boxes.shown[0].text.startsWith(QStringLiteral("The mail server no longer accepts the saved sign-in.")));
    EXPECT_FALSE(boxes.texts().contains(QStringLiteral("Invalid login. Please double-check your username and password.\r\n\r\n")));

    // As the box says: Disconnect, then Connect signs in in the browser again.
    boxes.shown.clear();
    browser.grantedTokens = {QStringLiteral("another")};
    w.PushButton1_Click();
    connectAs();
    EXPECT_TRUE(w.isConnected()) << qPrintable(boxes.texts().join(u'|'));
    EXPECT_EQ(browser.browserOpenedFor.size(), 2);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(Form1MicrosoftTest, RememberMeFollowsTheBoxAndAMissingStoreIsToldOnce)
{
    settings.set("StayConnected", "1");
    settings.set("User", "user");
    settings.set("Combo1", "1");
    settings.set("Password", "saved before browser sign-in");
    browser.storeWorks = false;
    browser.grantedTokens = {QStringLiteral("token-1"), QStringLiteral("token-1")};
    Form1& w = load();
    EXPECT_EQ(browser.remembered.last(), true);
    EXPECT_EQ(settings.value("Password"), QString());
    w.PushButton1_Click();
    ASSERT_TRUE(w.isConnected());
    w.PushButton1_Click();
    EXPECT_EQ(browser.signOuts, 0);
    browser.signOut();
    w.PushButton1_Click();
    ASSERT_TRUE(w.isConnected());
    EXPECT_EQ(boxes.texts(), QStringList({"Tallyhive cannot remember this sign-in: the desktop's secret store is not "
                                          "available. You stay signed in until the program closes."}));

    control<QCheckBox>(w, "Check1")->setCheckState(Qt::Unchecked);
    EXPECT_EQ(browser.remembered.last(), false);
}

TEST_F(Form1MicrosoftTest, WithoutAClientIdConnectAsksForOneAndTheNextStartUsesTheOneSaved)
{
    qunsetenv("TALLYHIVE_OAUTH_CLIENT_ID");
    qunsetenv("TALLYHIVE_OAUTH_AUTHORITY");
    qputenv("TALLYHIVE_SIGN_IN", "auto");
    imapServer.host = QStringLiteral("outlook.office365.com");
    Form1& w = load();
    control<QLineEdit>(w, "Text2")->setText(QStringLiteral("typed anyway"));
    connectAs();  // cancelled
    imapServer.host = QStringLiteral("127.0.0.1");
    qputenv("TALLYHIVE_SIGN_IN", "microsoft");
    deployment.signInMode = QStringLiteral("microsoft");
    EXPECT_FALSE(w.isConnected());
    EXPECT_FALSE(control<QLineEdit>(w, "Text2")->isEnabled());
    EXPECT_TRUE(component->calls.isEmpty()) << qPrintable(component->calls.join(u','));
    EXPECT_TRUE(browser.browserOpenedFor.isEmpty());
    EXPECT_TRUE(boxes.shown.empty());

    const QString id = QStringLiteral("0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0");
    boxes.setupAnswer = tallyhive::platform::MicrosoftApplication{id, QStringLiteral("consumers")};
    component->acceptedUser = QStringLiteral("user@outlook.com");
    control<QLineEdit>(w, "Text1")->setText(component->acceptedUser);
    control<QComboBox>(w, "Combo1")->setCurrentIndex(0);
    w.PushButton1_Click();
    ASSERT_EQ(boxes.setups.size(), 2u);
    EXPECT_EQ(boxes.setups[0].tenant, QStringLiteral("common"));     // user@example.org
    EXPECT_EQ(boxes.setups[1].tenant, QStringLiteral("consumers"));  // user@outlook.com
    EXPECT_EQ(settings.value("OAuthClientId"), id);
    EXPECT_EQ(settings.value("OAuthAuthority"), QStringLiteral("consumers"));
    EXPECT_TRUE(w.isConnected()) << qPrintable(boxes.texts().join(u'|'));
    EXPECT_EQ(browser.choosingAccount, QList<bool>({true}));  // whoever set it up may mean another account

    browser.application.clear();
    load();
    EXPECT_EQ(boxes.setups.size(), 2u);
    EXPECT_EQ(browser.application, id + QStringLiteral(" http://127.0.0.1:1/consumers/oauth2/v2.0"));
}

TEST_F(Form1MicrosoftTest, PasswordSignInStaysForOtherHostsInAutoMode)
{
    qputenv("TALLYHIVE_SIGN_IN", "auto");
    Form1& w = load();
    EXPECT_TRUE(control<QLineEdit>(w, "Text2")->isEnabled());
    browser.browserOutcome = Outcome::Failed;
    signIn();
    EXPECT_EQ(count(QStringLiteral("login user@example.org")), 1);
    EXPECT_TRUE(browser.browserOpenedFor.isEmpty());
}

}  // namespace

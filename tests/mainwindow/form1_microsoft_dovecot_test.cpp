// The real main window signing in with a Microsoft account: our identity
// provider on loopback, the headless browser, and a Dovecot that checks the
// tokens with that provider. Runs inside a secret store of its own.
#include "app/sign_in_method.h"
#include "auth/microsoft_sign_in.h"
#include "form1_fixture.h"
#include "platform/mailbox/mailbox_component.h"
#include "program/component_options.h"
#include "program/config.h"
#include "support/dovecot_server.h"
#include "support/fake_identity_provider.h"
#include "support/scripted_imap_server.h"

#include <QDir>
#include <QFile>
#include <QTimer>

using namespace tallyhive;
using namespace tallyhive::testing;

namespace {

constexpr int kMessages = 3;

class MicrosoftDovecotTest : public ::testing::Test {
public:
    static void SetUpTestSuite()
    {
        guiApplication();
        provider_ = new FakeIdentityProvider;
        mail_ = new QTemporaryDir;
        for (int n = 1; n <= kMessages; ++n) {
            QFile file(mail_->filePath(QStringLiteral("%1.eml").arg(n)));
            if (file.open(QIODevice::WriteOnly))
                file.write(ScriptedImapServer::sampleMessage(n));
        }
        try {
            server_ = new DovecotServer(mail_->path(), QStringLiteral("tester@example.org"), QStringLiteral("unused-Pw-1"),
                                        provider_->introspectionUrl());
            server_->applyEnvironment();
        } catch (const AppError& error) {
            startError_ = error.description();
        }
    }
    static void TearDownTestSuite()
    {
        delete server_;
        delete provider_;
        delete mail_;
    }

protected:
    void SetUp() override
    {
        ASSERT_TRUE(server_) << startError_.toStdString();
        qputenv("TEMP", logDir_.path().toUtf8());
        qputenv("TALLYHIVE_SIGN_IN", "microsoft");
        qputenv("TALLYHIVE_OAUTH_CLIENT_ID", FakeIdentityProvider::kClientId);
        qputenv("TALLYHIVE_OAUTH_AUTHORITY", provider_->authority().toUtf8());
        provider_->declineConsent(false);
        provider_->forgeState(false);
        provider_->answerTokensSlowly(0);
        browserWaitMs_ = 30000;
    }
    void TearDown() override
    {
        window_.reset();
        signIn_.reset();
        // Each test starts with nothing remembered.
        auth::MicrosoftSignIn(settings()).setRemembered(false);
    }

    static auth::OAuthSettings settings()
    {
        auth::OAuthSettings s;
        s.clientId = QString::fromLatin1(FakeIdentityProvider::kClientId);
        s.authorizeUrl = QUrl(provider_->authority() + QStringLiteral("/authorize"));
        s.tokenUrl = QUrl(provider_->authority() + QStringLiteral("/token"));
        s.scope = MicrosoftImapScope;
        // A desktop browser asks the page it ends on for its icon.
        s.browserCommand = QStringLiteral("/usr/bin/python3 ") + qEnvironmentVariable("TALLYHIVE_SOURCE_DIR")
                           + QStringLiteral("/tests/support/headless_browser.py --favicon");
        s.browserWaitMs = browserWaitMs_;
        return s;
    }

    // One start of the program: a new window and sign-in over the same settings store.
    Form1& start()
    {
        window_.reset();
        signIn_ = std::make_unique<auth::MicrosoftSignIn>(settings());
        deployment_ = config::deployment();
        window_ = std::make_unique<Form1>(
            Form1Services{boxes_, settings_, spreadsheets_, imapServer_, deployment_, [] { return platform::createImapComponent(tallyhive::imapOptionsFromConfig()); }, signIn_.get()});
        window_->Form_Load();
        return *window_;
    }
    void connect(bool remember)
    {
        control<QCheckBox>(*window_, "Check1")->setCheckState(remember ? Qt::Checked : Qt::Unchecked);
        control<QLineEdit>(*window_, "Text1")->setText(server_->user());
        control<QComboBox>(*window_, "Combo1")->setCurrentIndex(0);
        window_->PushButton1_Click();
    }
    // No token handed out may appear in the settings or the error log.
    void expectNoTokenLeft() const
    {
        QFile log(logDir_.filePath(QStringLiteral("errorlog.txt")));
        const QString logText = log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
        const QString written = settings_.writes.join(u'\n') + boxes_.texts().join(u'\n');
        for (const QString& secret : provider_->issuedSecrets()) {
            EXPECT_FALSE(logText.contains(secret));
            EXPECT_FALSE(written.contains(secret));
        }
    }

    static inline FakeIdentityProvider* provider_ = nullptr;
    static inline DovecotServer* server_ = nullptr;
    static inline QTemporaryDir* mail_ = nullptr;
    static inline QString startError_;
    static inline int browserWaitMs_ = 30000;
    QTemporaryDir logDir_;
    RecordingMessageBoxes boxes_;
    MemorySettingsStore settings_;
    NoSpreadsheets spreadsheets_;
    std::unique_ptr<auth::MicrosoftSignIn> signIn_;
    platform::ImapServer imapServer_ = tallyhive::imapServerFromConfig();
    Deployment deployment_;
    std::unique_ptr<Form1> window_;
};

TEST_F(MicrosoftDovecotTest, FirstSignInGetsTheFolderAndTheNextStartNeedsNoBrowser)
{
    // No application yet: it is set up in the window, and the tenant goes
    // on the host of the provider.
    qunsetenv("TALLYHIVE_OAUTH_CLIENT_ID");
    qunsetenv("TALLYHIVE_OAUTH_AUTHORITY");
    qputenv("TALLYHIVE_OAUTH_HOST", QStringLiteral("http://127.0.0.1:%1").arg(provider_->port()).toUtf8());
    boxes_.setupAnswer = platform::MicrosoftApplication{QString::fromLatin1(FakeIdentityProvider::kClientId), QStringLiteral("consumers")};
    // As slow as a real token endpoint: the icon request comes while the code is exchanged.
    provider_->answerTokensSlowly(400);
    Form1& w = start();
    EXPECT_FALSE(control<QLineEdit>(w, "Text2")->isEnabled());
    const int before = provider_->authorizeRequests();
    connect(true);
    ASSERT_TRUE(w.isConnected()) << qPrintable(boxes_.texts().join(u'|'));
    EXPECT_EQ(provider_->authorizeRequests(), before + 1);
    EXPECT_TRUE(control<QLineEdit>(w, "Text2")->text().isEmpty());

    // The access token runs out on the server: the fetch run's sign-in is
    // refused, refreshes and gets in on the same connection, without the browser.
    provider_->expireAccessTokens();
    w.PushButton3_Click();
    EXPECT_EQ(boxes_.texts(), QStringList({"Done."}));
    EXPECT_EQ(w.listView().rowCount(), kMessages);
    EXPECT_EQ(w.listView().cellText(1, 4), QStringLiteral("Subject 1"));
    EXPECT_EQ(provider_->authorizeRequests(), before + 1);

    // The next start, "Remember me" ticked: signed in from the secret store.
    boxes_.shown.clear();
    Form1& again = start();
    ASSERT_EQ(control<QCheckBox>(again, "Check1")->checkState(), Qt::Checked);
    again.PushButton1_Click();
    ASSERT_TRUE(again.isConnected()) << qPrintable(boxes_.texts().join(u'|'));
    EXPECT_EQ(provider_->authorizeRequests(), before + 1);
    EXPECT_TRUE(boxes_.shown.empty());
    EXPECT_EQ(boxes_.setups.size(), 1u);
    expectNoTokenLeft();
}

TEST_F(MicrosoftDovecotTest, ARevokedRememberedSignInOpensTheBrowserAgain)
{
    start();
    connect(true);
    ASSERT_TRUE(window_->isConnected());
    provider_->revokeRefreshTokens();
    provider_->expireAccessTokens();
    const int before = provider_->authorizeRequests();
    Form1& again = start();
    again.PushButton1_Click();
    ASSERT_TRUE(again.isConnected()) << qPrintable(boxes_.texts().join(u'|'));
    EXPECT_EQ(provider_->authorizeRequests(), before + 1);
    EXPECT_TRUE(boxes_.shown.empty()) << qPrintable(boxes_.texts().join(u'|'));
}

TEST_F(MicrosoftDovecotTest, DeclinedConsentShowsAPlainBoxAndNothingIsRemembered)
{
    provider_->declineConsent(true);
    Form1& w = start();
    connect(true);
    EXPECT_FALSE(w.isConnected());
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_TRUE(boxes_.shown[0].text.startsWith(QStringLiteral("The sign-in was declined in the browser")));
    auth::MicrosoftSignIn nextStart(settings());
    nextStart.setRemembered(true);
    EXPECT_TRUE(nextStart.accessToken(server_->user(), false).token.isEmpty());
}

TEST_F(MicrosoftDovecotTest, AnAnswerWithAForeignStateIsRefusedAndTheWaitGoesOnToItsLimit)
{
    provider_->forgeState(true);
    browserWaitMs_ = 2000;
    const int exchanges = provider_->codeExchanges();
    Form1& w = start();
    connect(false);
    EXPECT_FALSE(w.isConnected());
    EXPECT_EQ(provider_->codeExchanges(), exchanges);
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_TRUE(boxes_.shown[0].text.startsWith(QStringLiteral("The sign-in was not finished in the browser")))
        << qPrintable(boxes_.shown[0].text);
}

TEST_F(MicrosoftDovecotTest, ASecondClickDuringASlowCodeExchangeCancelsAndTheLateAnswerHarmsNothing)
{
    provider_->answerTokensSlowly(1500);
    const int exchanges = provider_->codeExchanges();
    Form1& w = start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (provider_->codeExchanges() > exchanges) {
            poll.stop();
            control<QPushButton>(w, "PushButton1")->click();
        }
    });
    poll.start(20);
    connect(false);
    EXPECT_FALSE(w.isConnected());
    EXPECT_EQ(provider_->codeExchanges(), exchanges + 1);
    EXPECT_EQ(control<QPushButton>(w, "PushButton1")->text(), QStringLiteral("1. Connect"));
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_TRUE(boxes_.shown[0].text.startsWith(QStringLiteral("The sign-in was cancelled.")));

    // The token answer lands after the wait has ended; then a new sign-in works.
    QEventLoop late;
    QTimer::singleShot(2000, &late, &QEventLoop::quit);
    late.exec();
    provider_->answerTokensSlowly(0);
    w.PushButton1_Click();
    EXPECT_TRUE(w.isConnected()) << qPrintable(boxes_.texts().join(u'|'));
}

}  // namespace

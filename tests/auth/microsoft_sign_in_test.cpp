// The sign-in flow against our fake identity provider: PKCE, state, the
// loopback answer, refresh with rotation, and every way it can fail. No
// secret store is reachable here.
#include "sign_in_fixture.h"

#include <QFile>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>

using namespace tallyhive;
using namespace tallyhive::testing;
using Outcome = platform::BrowserSignIn::Outcome;

namespace {

class MicrosoftSignInTest : public SignInTest {
public:
    // Never the keyring of whoever runs the tests: no session bus can be found.
    static void SetUpTestSuite()
    {
        static QTemporaryDir runtime;
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        qunsetenv("DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    }
};

TEST_F(MicrosoftSignInTest, BrowserSignInProvesPkceAndRefreshRotatesTheToken)
{
    auth::MicrosoftSignIn signIn(settings());
    ASSERT_EQ(signIn.signInInBrowser(account), Outcome::SignedIn) << qPrintable(signIn.lastDetail());
    EXPECT_EQ(provider.codeExchanges(), 1);
    EXPECT_EQ(provider.lastLoginHint(), account);
    EXPECT_TRUE(provider.complaints().isEmpty()) << qPrintable(provider.complaints().join(u'|'));

    const QString first = signIn.accessToken(account, false);
    EXPECT_FALSE(first.isEmpty());
    EXPECT_EQ(signIn.accessToken(account, false), first);
    EXPECT_EQ(provider.refreshes(), 0);

    // Each refresh spends the refresh token it used; the newest must be kept.
    const QString second = signIn.accessToken(account, true);
    const QString third = signIn.accessToken(account, true);
    EXPECT_EQ(provider.refreshes(), 2);
    EXPECT_FALSE(second.isEmpty());
    EXPECT_FALSE(third.isEmpty());
    EXPECT_NE(second, first);
    EXPECT_NE(third, second);
    EXPECT_EQ(signIn.lastOutcome(), Outcome::SignedIn);
    EXPECT_TRUE(provider.complaints().isEmpty()) << qPrintable(provider.complaints().join(u'|'));

    // Tokens belong to their account.
    EXPECT_TRUE(signIn.accessToken(QStringLiteral("someone@example.org"), false).isEmpty());
}

TEST_F(MicrosoftSignInTest, DeclinedConsentAndAForgedStateGiveNoToken)
{
    auth::MicrosoftSignIn signIn(settings());
    provider.declineConsent(true);
    EXPECT_EQ(signIn.signInInBrowser(account), Outcome::Declined);
    EXPECT_TRUE(signIn.lastDetail().contains(QStringLiteral("denied access"))) << qPrintable(signIn.lastDetail());
    EXPECT_TRUE(signIn.accessToken(account, false).isEmpty());

    provider.declineConsent(false);
    provider.forgeState(true);
    EXPECT_EQ(signIn.signInInBrowser(account), Outcome::Failed);
    EXPECT_TRUE(signIn.lastDetail().contains(QStringLiteral("state mismatch")));
    EXPECT_EQ(provider.codeExchanges(), 0);
    EXPECT_TRUE(signIn.accessToken(account, false).isEmpty());
}

TEST_F(MicrosoftSignInTest, ARevokedRefreshTokenMeansTheBrowserAgain)
{
    auth::MicrosoftSignIn signIn(settings());
    ASSERT_EQ(signIn.signInInBrowser(account), Outcome::SignedIn);
    provider.revokeRefreshTokens();
    EXPECT_TRUE(signIn.accessToken(account, true).isEmpty());
    EXPECT_EQ(signIn.lastOutcome(), Outcome::NoToken);
    EXPECT_TRUE(signIn.lastDetail().contains(QStringLiteral("revoked")));
    EXPECT_TRUE(signIn.accessToken(account, false).isEmpty());
    EXPECT_EQ(provider.refreshes(), 1);
}

TEST_F(MicrosoftSignInTest, SlowAnswersStillSignIn)
{
    auth::MicrosoftSignIn signIn(settings());
    provider.answerSlowly(400);
    EXPECT_EQ(signIn.signInInBrowser(account), Outcome::SignedIn) << qPrintable(signIn.lastDetail());
    EXPECT_FALSE(signIn.accessToken(account, true).isEmpty());
}

TEST_F(MicrosoftSignInTest, TheAnswerPortIsOnLoopbackAndClosedAfterATimeout)
{
    QTemporaryDir dir;
    // A "browser" that only notes the address and never finishes.
    const QString browser = dir.filePath(QStringLiteral("note-address"));
    QFile script(browser);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nprintf %s \"$1\" > \"$(dirname \"$0\")/url\"\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    auto s = settings(browser);
    s.browserWaitMs = 500;
    auth::MicrosoftSignIn signIn(s);
    EXPECT_EQ(signIn.signInInBrowser(account), Outcome::TimedOut);
    EXPECT_FALSE(signIn.waiting());

    QFile file(dir.filePath(QStringLiteral("url")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QUrl address(QString::fromUtf8(file.readAll()));
    const QUrl redirect(QUrlQuery(address).queryItemValue(QStringLiteral("redirect_uri"), QUrl::FullyDecoded));
    EXPECT_EQ(redirect.host(), QStringLiteral("127.0.0.1"));
    EXPECT_GT(redirect.port(), 0);
    EXPECT_EQ(QUrlQuery(address).queryItemValue(QStringLiteral("state")).size(), 32);
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(redirect.port()));
    EXPECT_FALSE(probe.waitForConnected(1000));
}

TEST_F(MicrosoftSignInTest, CancelEndsTheWait)
{
    auth::MicrosoftSignIn signIn(settings(QStringLiteral("true")));
    QTimer::singleShot(200, [&signIn] {
        EXPECT_TRUE(signIn.waiting());
        signIn.cancel();
    });
    EXPECT_EQ(signIn.signInInBrowser(account), Outcome::Cancelled);
}

TEST_F(MicrosoftSignInTest, AnUnreachableTokenEndpointIsSaidSo)
{
    auto s = settings();
    s.tokenUrl = QUrl(QStringLiteral("http://127.0.0.1:9/oauth2/v2.0/token"));  // discard: nothing listens
    auth::MicrosoftSignIn signIn(s);
    EXPECT_EQ(signIn.signInInBrowser(account), Outcome::Unreachable);
}

TEST_F(MicrosoftSignInTest, WithoutASecretStoreTheSignInLastsForTheRun)
{
    auth::MicrosoftSignIn signIn(settings());
    signIn.setRemembered(true);
    ASSERT_EQ(signIn.signInInBrowser(account), Outcome::SignedIn);
    EXPECT_FALSE(signIn.canRemember());
    EXPECT_FALSE(signIn.accessToken(account, true).isEmpty());

    signIn.signOut();
    EXPECT_TRUE(signIn.accessToken(account, false).isEmpty());
}

}  // namespace

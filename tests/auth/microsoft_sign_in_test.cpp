// The sign-in flow against our fake identity provider: PKCE, state, the
// loopback answer, refresh with rotation, and every way it can fail. No
// secret store is reachable here.
#include "sign_in_fixture.h"

#include <chrono>
#include <thread>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTcpServer>
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

    // Lets events run for a while, as the window would after a sign-in.
    static void runEventsFor(int ms)
    {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }
    static bool reachable(const QHostAddress& address, int port)
    {
        QTcpSocket probe;
        probe.connectToHost(address, static_cast<quint16>(port));
        return probe.waitForConnected(1000);
    }
    static bool machineHasIpv6Loopback()
    {
        QTcpServer server;
        return server.listen(QHostAddress(QHostAddress::LocalHostIPv6), 0);
    }
};

TEST_F(MicrosoftSignInTest, BrowserSignInProvesPkceAndRefreshRotatesTheToken)
{
    auth::MicrosoftSignIn signIn(settings());
    const platform::SignInResult signedIn = signIn.signInInBrowser(account);
    ASSERT_EQ(signedIn.outcome, Outcome::SignedIn) << qPrintable(signedIn.detail);
    EXPECT_EQ(provider.codeExchanges(), 1);
    EXPECT_EQ(provider.lastLoginHint(), account);
    EXPECT_TRUE(provider.complaints().isEmpty()) << qPrintable(provider.complaints().join(u'|'));

    const QString first = signIn.accessToken(account, false).token;
    EXPECT_FALSE(first.isEmpty());
    EXPECT_EQ(signIn.accessToken(account, false).token, first);
    EXPECT_EQ(provider.refreshes(), 0);

    // Each refresh spends the refresh token it used; the newest must be kept.
    const QString second = signIn.accessToken(account, true).token;
    const platform::AccessTokenResult renewed = signIn.accessToken(account, true);
    const QString& third = renewed.token;
    EXPECT_EQ(provider.refreshes(), 2);
    EXPECT_FALSE(second.isEmpty());
    EXPECT_FALSE(third.isEmpty());
    EXPECT_NE(second, first);
    EXPECT_NE(third, second);
    EXPECT_EQ(renewed.outcome, Outcome::SignedIn);
    EXPECT_TRUE(provider.complaints().isEmpty()) << qPrintable(provider.complaints().join(u'|'));

    // Tokens belong to their account.
    EXPECT_TRUE(signIn.accessToken(QStringLiteral("someone@example.org"), false).token.isEmpty());
}

// Lifetimes given as numbers, then as texts by a provider whose refreshes
// keep the refresh token there was instead of handing out a new one.
TEST_F(MicrosoftSignInTest, AnAccessTokenThatHasRunOutIsRenewedBeforeItIsHandedOut)
{
    provider.issueTokensLasting(1);
    auth::MicrosoftSignIn signIn(settings());
    ASSERT_EQ(signIn.signInInBrowser(account).outcome, Outcome::SignedIn);
    QStringList handedOut;
    for (int use = 0; use < 3; ++use) {
        provider.answerTheOlderWay(use > 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        handedOut << signIn.accessToken(account, false).token;
        EXPECT_FALSE(handedOut.last().isEmpty()) << use;
    }
    EXPECT_EQ(provider.refreshes(), 3);
    EXPECT_EQ(QSet<QString>(handedOut.begin(), handedOut.end()).size(), 3);
}

TEST_F(MicrosoftSignInTest, DeclinedConsentAndAForgedStateGiveNoToken)
{
    auth::MicrosoftSignIn signIn(settings());
    provider.declineConsent(true);
    const platform::SignInResult declined = signIn.signInInBrowser(account);
    EXPECT_EQ(declined.outcome, Outcome::Declined);
    EXPECT_TRUE(declined.detail.contains(QStringLiteral("denied access"))) << qPrintable(declined.detail);
    EXPECT_TRUE(signIn.accessToken(account, false).token.isEmpty());

    // An answer with a state of its own is not ours: it is refused and the
    // wait goes on, here to its limit.
    provider.declineConsent(false);
    provider.forgeState(true);
    auto s = settings();
    s.browserWaitMs = 1500;
    auth::MicrosoftSignIn patient(s);
    EXPECT_EQ(patient.signInInBrowser(account).outcome, Outcome::TimedOut);
    EXPECT_EQ(provider.codeExchanges(), 0);
    EXPECT_TRUE(patient.accessToken(account, false).token.isEmpty());
}

// What desktop browsers and other programs on this machine send to the
// loopback port besides the answer, while the token endpoint is as slow as
// real ones. The headless browser fails when the icon, a reload of the
// answer or a foreign request is not refused.
TEST_F(MicrosoftSignInTest, TheAnswerSurvivesTheIconRequestAndForeignRequests)
{
    struct Case {
        const char* browserFlags;
        int tokenDelayMs;
    };
    // Another program also holds 64 connections and reopens each one dropped.
    for (const Case& c : {Case{"--favicon", 400}, Case{"--foreign", 0}, Case{"--favicon --foreign", 400}, Case{"--crowd 64", 0}}) {
        SCOPED_TRACE(c.browserFlags);
        provider.answerTokensSlowly(c.tokenDelayMs);
        auth::MicrosoftSignIn signIn(settings(headlessBrowser(QString::fromLatin1(c.browserFlags))));
        QStringList notices;
        signIn.setBrowserNotOpenedNotice([&](const QString& address) { notices << address; });
        const int before = provider.codeExchanges();
        EXPECT_EQ(signIn.signInInBrowser(account).outcome, Outcome::SignedIn);
        EXPECT_EQ(provider.codeExchanges(), before + 1);
        EXPECT_FALSE(signIn.accessToken(account, false).token.isEmpty());
        EXPECT_TRUE(notices.isEmpty());
        EXPECT_TRUE(provider.complaints().isEmpty()) << qPrintable(provider.complaints().join(u'|'));
    }
}

TEST_F(MicrosoftSignInTest, AFaultyTokenEndpointEndsTheSignInWithinItsLimitAndNothingIsPrinted)
{
    using Fault = FakeIdentityProvider::TokenFault;
    struct Case {
        Fault fault;
        Outcome outcome;
        const char* detail;
    };
    const Case cases[] = {
        {Fault::Redirect, Outcome::Unexpected, "HTTP 302"},
        {Fault::WebPage, Outcome::Unexpected, "HTTP 502"},
        {Fault::HugeToken, Outcome::Unexpected, "HTTP 200, a token larger than 64 KB"},
        {Fault::Silence, Outcome::Unreachable, "no answer within 1 s"},
    };
    auto s = settings();
    s.requestTimeoutMs = 1000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.detail);
        auth::MicrosoftSignIn signIn(s);
        provider.tokenFault(Fault::None);
        ASSERT_EQ(signIn.signInInBrowser(account).outcome, Outcome::SignedIn);
        provider.tokenFault(c.fault);
        QElapsedTimer clock;
        clock.start();
        ::testing::internal::CaptureStderr();
        // Both ways to the token endpoint: the refresh and the code exchange.
        const platform::AccessTokenResult refresh = signIn.accessToken(account, true);
        const platform::SignInResult browser = signIn.signInInBrowser(account);
        const QString printed = QString::fromStdString(::testing::internal::GetCapturedStderr());
        EXPECT_TRUE(refresh.token.isEmpty());
        EXPECT_EQ(refresh.outcome, c.outcome);
        EXPECT_EQ(refresh.detail, QString::fromLatin1(c.detail));
        EXPECT_EQ(browser.outcome, c.outcome);
        EXPECT_EQ(browser.detail, QString::fromLatin1(c.detail));
        EXPECT_LT(clock.elapsed(), 8000);
        EXPECT_FALSE(printed.contains(QStringLiteral("Bad gateway"))) << qPrintable(printed);
        for (const QString& secret : provider.issuedSecrets())
            EXPECT_FALSE(printed.contains(secret));
    }
}

// A second click on "1. Connect" cancels; the time limit ends the wait: in
// both the token request is still on its way and must find nothing gone
// when it lands.
TEST_F(MicrosoftSignInTest, CancelOrTheTimeLimitDuringASlowTokenRequestEndCleanly)
{
    for (const bool cancel : {true, false}) {
        SCOPED_TRACE(cancel ? "cancel" : "time limit");
        provider.answerTokensSlowly(cancel ? 1500 : 4000);
        auto s = settings();
        s.browserWaitMs = cancel ? 20000 : 2500;
        auth::MicrosoftSignIn signIn(s);
        const int before = provider.codeExchanges();
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (cancel && provider.codeExchanges() > before)
                signIn.cancel();
        });
        poll.start(20);
        EXPECT_EQ(signIn.signInInBrowser(account).outcome, cancel ? Outcome::Cancelled : Outcome::TimedOut);
        poll.stop();
        EXPECT_EQ(provider.codeExchanges(), before + 1);
        EXPECT_FALSE(signIn.waiting());
        runEventsFor(2000);
        EXPECT_TRUE(signIn.accessToken(account, false).token.isEmpty());

        provider.answerTokensSlowly(0);
        EXPECT_EQ(signIn.signInInBrowser(account).outcome, Outcome::SignedIn);
    }
}

TEST_F(MicrosoftSignInTest, TheIdTokenNamesTheMailboxThatReallySignedIn)
{
    provider.signInAs(QStringLiteral("second.account@example.net"));
    auth::MicrosoftSignIn signIn(settings());
    EXPECT_EQ(signIn.mailboxAddress(account), account);
    ASSERT_EQ(signIn.signInInBrowser(account).outcome, Outcome::SignedIn);
    EXPECT_EQ(signIn.mailboxAddress(account), QStringLiteral("second.account@example.net"));
    EXPECT_EQ(signIn.mailboxAddress(QStringLiteral("other@example.org")), QStringLiteral("other@example.org"));
    EXPECT_EQ(signIn.mailboxAddress(account.toUpper()), QStringLiteral("second.account@example.net"));
    EXPECT_FALSE(signIn.accessToken(account, true).token.isEmpty());
    EXPECT_EQ(signIn.mailboxAddress(account), QStringLiteral("second.account@example.net"));
    // Let choose, the user takes the account meant.
    ASSERT_EQ(signIn.signInInBrowser(account, true).outcome, Outcome::SignedIn);
    EXPECT_EQ(signIn.mailboxAddress(account), account);
}

TEST_F(MicrosoftSignInTest, ABrowserThatDidNotOpenShowsTheAddressAndTheWaitGoesOn)
{
    for (const char* command : {"false", "/nonexistent/browser"}) {
        SCOPED_TRACE(command);
        auth::MicrosoftSignIn signIn(settings(QString::fromLatin1(command)));
        QStringList notices;
        signIn.setBrowserNotOpenedNotice([&](const QString& address) {
            notices << address;
            // The person opens the address by hand.
            const QStringList browser = QProcess::splitCommand(headlessBrowser());
            QProcess::startDetached(browser.first(), browser.mid(1) << address);
        });
        EXPECT_EQ(signIn.signInInBrowser(account).outcome, Outcome::SignedIn);
        ASSERT_EQ(notices.size(), 1);
        EXPECT_TRUE(notices[0].startsWith(provider.authority() + QStringLiteral("/authorize?"))) << qPrintable(notices[0]);
    }
}

TEST_F(MicrosoftSignInTest, ARevokedRefreshTokenMeansTheBrowserAgain)
{
    auth::MicrosoftSignIn signIn(settings());
    ASSERT_EQ(signIn.signInInBrowser(account).outcome, Outcome::SignedIn);
    provider.revokeRefreshTokens();
    const platform::AccessTokenResult revoked = signIn.accessToken(account, true);
    EXPECT_TRUE(revoked.token.isEmpty());
    EXPECT_EQ(revoked.outcome, Outcome::NoToken);
    EXPECT_TRUE(revoked.detail.contains(QStringLiteral("revoked")));
    EXPECT_TRUE(signIn.accessToken(account, false).token.isEmpty());
    EXPECT_EQ(provider.refreshes(), 1);
}

TEST_F(MicrosoftSignInTest, SlowAnswersStillSignIn)
{
    auth::MicrosoftSignIn signIn(settings());
    provider.answerSlowly(400);
    EXPECT_EQ(signIn.signInInBrowser(account).outcome, Outcome::SignedIn);
    EXPECT_FALSE(signIn.accessToken(account, true).token.isEmpty());
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
    s.browserWaitMs = 1500;
    auth::MicrosoftSignIn signIn(s);
    // While the wait runs, "localhost" answers on both loopback addresses.
    const bool ipv6 = machineHasIpv6Loopback();
    QUrl redirect;
    bool reachedV4 = false;
    bool reachedV6 = false;
    QTimer::singleShot(1000, [&] {
        QFile file(dir.filePath(QStringLiteral("url")));
        if (!file.open(QIODevice::ReadOnly))
            return;
        const QUrl address(QString::fromUtf8(file.readAll()));
        redirect = QUrl(QUrlQuery(address).queryItemValue(QStringLiteral("redirect_uri"), QUrl::FullyDecoded));
        EXPECT_EQ(QUrlQuery(address).queryItemValue(QStringLiteral("state")).size(), 32);
        reachedV4 = reachable(QHostAddress(QHostAddress::LocalHost), redirect.port());
        reachedV6 = ipv6 && reachable(QHostAddress(QHostAddress::LocalHostIPv6), redirect.port());
    });
    EXPECT_EQ(signIn.signInInBrowser(account).outcome, Outcome::TimedOut);
    EXPECT_FALSE(signIn.waiting());

    EXPECT_EQ(redirect.toString(QUrl::RemovePort), QStringLiteral("http://localhost/"));
    EXPECT_GT(redirect.port(), 0);
    EXPECT_TRUE(reachedV4);
    EXPECT_EQ(reachedV6, ipv6);
    EXPECT_FALSE(reachable(QHostAddress(QHostAddress::LocalHost), redirect.port()));
    EXPECT_FALSE(reachable(QHostAddress(QHostAddress::LocalHostIPv6), redirect.port()));
}

TEST_F(MicrosoftSignInTest, CancelEndsTheWait)
{
    auth::MicrosoftSignIn signIn(settings(QStringLiteral("true")));
    QTimer::singleShot(200, [&signIn] {
        EXPECT_TRUE(signIn.waiting());
        signIn.cancel();
    });
    EXPECT_EQ(signIn.signInInBrowser(account).outcome, Outcome::Cancelled);
}

TEST_F(MicrosoftSignInTest, AnUnreachableTokenEndpointIsSaidSo)
{
    auto s = settings();
    s.tokenUrl = QUrl(QStringLiteral("http://127.0.0.1:9/oauth2/v2.0/token"));  // discard: nothing listens
    auth::MicrosoftSignIn signIn(s);
    EXPECT_EQ(signIn.signInInBrowser(account).outcome, Outcome::Unreachable);
}

TEST_F(MicrosoftSignInTest, WithoutASecretStoreTheSignInLastsForTheRun)
{
    auth::MicrosoftSignIn signIn(settings());
    signIn.setRemembered(true);
    ASSERT_EQ(signIn.signInInBrowser(account).outcome, Outcome::SignedIn);
    EXPECT_FALSE(signIn.canRemember());
    EXPECT_FALSE(signIn.accessToken(account, true).token.isEmpty());

    signIn.signOut();
    EXPECT_TRUE(signIn.accessToken(account, false).token.isEmpty());
}

}  // namespace

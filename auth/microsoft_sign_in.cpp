#include "auth/microsoft_sign_in.h"

#include "auth/browser_launch.h"
#include "auth/loopback_listener.h"
#include "auth/pkce.h"
#include "auth/token_request.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>
#include <QUrlQuery>

#include <initializer_list>
#include <memory>
#include <utility>

namespace tallyhive::auth {
namespace {

const QString kStoreKey = QStringLiteral("microsoft-sign-in");
// An access token this close to its end is refreshed before use.
constexpr qint64 kExpiryMarginSeconds = 120;
constexpr int kLauncherGraceMs = 3000;

// application/x-www-form-urlencoded, which is also how a query is written.
QByteArray form(std::initializer_list<std::pair<const char*, QString>> fields)
{
    QByteArray text;
    for (const auto& [name, value] : fields) {
        if (!text.isEmpty())
            text += '&';
        text += QByteArray(name) + '=' + QUrl::toPercentEncoding(value);
    }
    return text;
}

// A value of the redirect's query as the provider meant it: '+' stands for a blank.
QString redirectText(const QUrlQuery& query, const QString& name)
{
    QByteArray text = query.queryItemValue(name, QUrl::FullyEncoded).toLatin1();
    text.replace('+', ' ');
    return QUrl::fromPercentEncoding(text);
}

platform::BrowserSignIn::Outcome outcomeOf(const TokenReply& reply)
{
    using Outcome = platform::BrowserSignIn::Outcome;
    switch (reply.kind) {
    case TokenReply::Kind::Tokens:
        return Outcome::SignedIn;
    case TokenReply::Kind::Unreachable:
        return Outcome::Unreachable;
    case TokenReply::Kind::Unexpected:
        return Outcome::Unexpected;
    case TokenReply::Kind::Refused:
        break;
    }
    return Outcome::Failed;
}

}  // namespace

MicrosoftSignIn::MicrosoftSignIn(OAuthSettings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)), store_(settings_.storeService)
{
}

MicrosoftSignIn::~MicrosoftSignIn()
{
    // A browser launcher still handing the address over gets a moment to
    // finish before its process object, and with it the launcher, goes.
    for (QProcess* launcher : findChildren<QProcess*>(Qt::FindDirectChildrenOnly))
        launcher->waitForFinished(kLauncherGraceMs);
}

void MicrosoftSignIn::useApplication(const QString& clientId, const QString& authority)
{
    const QUrl authorizeUrl(authority + QStringLiteral("/authorize"));
    const QUrl tokenUrl(authority + QStringLiteral("/token"));
    if (clientId == settings_.clientId && authorizeUrl == settings_.authorizeUrl && tokenUrl == settings_.tokenUrl)
        return;
    // Tokens belong to the application that was granted them.
    switchAccount(QString());
    settings_.clientId = clientId;
    settings_.authorizeUrl = authorizeUrl;
    settings_.tokenUrl = tokenUrl;
}

void MicrosoftSignIn::setBrowserNotOpenedNotice(std::function<void(const QString&)> notice)
{
    browserNotOpened_ = std::move(notice);
}

QUrl MicrosoftSignIn::authorizeAddress(const QString& account, bool chooseAccount, const QString& redirect, const QString& state,
                                       const QByteArray& challenge) const
{
    QUrl address = settings_.authorizeUrl;
    QByteArray query = form({{"client_id", settings_.clientId},
                                   {"response_type", QStringLiteral("code")},
                                   {"redirect_uri", redirect},
                                   {"response_mode", QStringLiteral("query")},
                                   {"scope", settings_.scope},
                                   {"state", state},
                                   {"code_challenge", QString::fromLatin1(challenge)},
                                   {"code_challenge_method", QStringLiteral("S256")},
                                   {"login_hint", account}});
    // Without it Microsoft signs in whichever account the browser holds.
    if (chooseAccount)
        query += '&' + form({{"prompt", QStringLiteral("select_account")}});
    address.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    return address;
}

platform::SignInResult MicrosoftSignIn::signInInBrowser(const QString& account, bool chooseAccount)
{
    decided_ = false;
    // Anyone on this machine can reach the loopback port; only the answer to
    // our own request, which carries this state, counts.
    const QString state = QString::fromLatin1(randomUrlSafe(32));
    LoopbackListener listener(state);
    if (!listener.listen())
        return {Outcome::Failed, QStringLiteral("no port on 127.0.0.1 could be opened for the answer")};
    // Microsoft's portal registers a desktop app's loopback address only as
    // "localhost", compares that name exactly and ignores the port.
    const QString redirect = QStringLiteral("http://localhost:%1/").arg(listener.port());
    const Pkce pkce = Pkce::create();
    const QUrl address = authorizeAddress(account, chooseAccount, redirect, state, pkce.challenge);

    TokenReply granted;
    {
        // Whatever the browser or a request still does later finds this
        // scope gone, and with it every connection into it.
        QEventLoop loop;
        wait_ = &loop;
        // Destroyed with this scope at the latest, which aborts it.
        std::unique_ptr<TokenRequest> exchange;
        connect(&listener, &LoopbackListener::answered, &loop, [&](const QUrlQuery& query) {
            exchange = redeemCode(query, redirect, pkce.verifier);
            if (!exchange)
                return;
            connect(exchange.get(), &TokenRequest::finished, &loop, [&](const TokenReply& reply) {
                granted = reply;
                finishWait(outcomeOf(reply), reply.detail());
            });
        });
        QTimer::singleShot(settings_.browserWaitMs, &loop, [this] { finishWait(Outcome::TimedOut); });
        openInBrowser(settings_.browserCommand, address, this, &loop, [this, address] {
            if (browserNotOpened_)
                browserNotOpened_(address.toString(QUrl::FullyEncoded));
        });

        if (!decided_)
            loop.exec();
        wait_ = nullptr;
        exchange.reset();
        listener.close();
    }

    // A loop ended from outside (the program quitting) decided nothing.
    if (!decided_)
        return {Outcome::Cancelled, {}};
    if (waitResult_.signedIn()) {
        switchAccount(account);
        storeLookedUp_ = true;  // this sign-in replaces any remembered one
        mailbox_ = granted.mailbox;
        keepTokens(granted);
    }
    return waitResult_;
}

// The browser's answer: the code it brings, traded for tokens; nothing, and
// the wait decided, when it brings none.
std::unique_ptr<TokenRequest> MicrosoftSignIn::redeemCode(const QUrlQuery& query, const QString& redirect, const QByteArray& verifier)
{
    const QString error = redirectText(query, QStringLiteral("error"));
    if (!error.isEmpty()) {
        const QString description = redirectText(query, QStringLiteral("error_description"));
        finishWait(error == u"access_denied" ? Outcome::Declined : Outcome::Failed, description.isEmpty() ? error : description);
        return nullptr;
    }
    const QString code = query.queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded);
    if (code.isEmpty()) {
        finishWait(Outcome::Failed, QStringLiteral("the answer held no authorization code"));
        return nullptr;
    }
    return std::make_unique<TokenRequest>(network_, settings_.tokenUrl,
                                          form({{"grant_type", QStringLiteral("authorization_code")},
                                                {"client_id", settings_.clientId},
                                                {"code", code},
                                                {"redirect_uri", redirect},
                                                {"code_verifier", QString::fromLatin1(verifier)},
                                                {"scope", settings_.scope}}),
                                          settings_.requestTimeoutMs);
}

void MicrosoftSignIn::cancel() { finishWait(Outcome::Cancelled); }

void MicrosoftSignIn::finishWait(Outcome outcome, const QString& detail)
{
    if (decided_ || !wait_)
        return;
    decided_ = true;
    waitResult_ = {outcome, detail};
    wait_->quit();
}

platform::AccessTokenResult MicrosoftSignIn::accessToken(const QString& account, bool refresh)
{
    if (account.compare(account_, Qt::CaseInsensitive) != 0)
        switchAccount(account);
    if (remembered_ && refreshToken_.isEmpty() && !storeLookedUp_)
        loadRemembered();
    const bool fresh = !accessToken_.isEmpty()
                       && (!expiresAt_.isValid() || QDateTime::currentDateTime().secsTo(expiresAt_) > kExpiryMarginSeconds);
    if (!refresh && fresh)
        return {{Outcome::SignedIn, {}}, accessToken_};
    if (refreshToken_.isEmpty())
        return {{Outcome::NoToken, QStringLiteral("there is no sign-in to renew")}, {}};
    return refreshNow();
}

QString MicrosoftSignIn::mailboxAddress(const QString& account) const
{
    if (mailbox_.isEmpty() || account.compare(account_, Qt::CaseInsensitive) != 0)
        return account;
    return mailbox_;
}

// A public client sends no secret and, on refresh, no redirect address.
platform::AccessTokenResult MicrosoftSignIn::refreshNow()
{
    TokenRequest request(network_, settings_.tokenUrl,
                         form({{"grant_type", QStringLiteral("refresh_token")},
                               {"client_id", settings_.clientId},
                               {"refresh_token", refreshToken_},
                               {"scope", settings_.scope}}),
                         settings_.requestTimeoutMs);
    TokenReply answer;
    answer.kind = TokenReply::Kind::Unreachable;  // should the loop end from outside
    QEventLoop loop;
    connect(&request, &TokenRequest::finished, &loop, [&](const TokenReply& reply) {
        answer = reply;
        loop.quit();
    });
    loop.exec();

    if (answer.kind == TokenReply::Kind::Tokens) {
        keepTokens(answer);
        return {{Outcome::SignedIn, {}}, accessToken_};
    }
    platform::AccessTokenResult failed{{outcomeOf(answer), answer.detail()}, {}};
    if (answer.kind == TokenReply::Kind::Refused && answer.error == u"invalid_grant") {
        // Revoked, expired or already used: only the browser helps now.
        dropRefreshToken();
        failed.outcome = Outcome::NoToken;
    }
    return failed;
}

void MicrosoftSignIn::keepTokens(const TokenReply& reply)
{
    accessToken_ = reply.accessToken;
    expiresAt_ = reply.expiresInSeconds > 0 ? QDateTime::currentDateTime().addSecs(reply.expiresInSeconds) : QDateTime();
    // A refresh may come without a new ID token: the mailbox stays what it was.
    const bool mailboxChanged = !reply.mailbox.isEmpty() && reply.mailbox != mailbox_;
    if (mailboxChanged)
        mailbox_ = reply.mailbox;
    // Each refresh may hand out a new refresh token; only the newest is kept.
    const QString refreshToken = reply.refreshToken.isEmpty() ? refreshToken_ : reply.refreshToken;
    const bool changed = refreshToken != refreshToken_ || mailboxChanged;
    refreshToken_ = refreshToken;
    if (remembered_ && changed)
        storeRefreshToken();
}

void MicrosoftSignIn::switchAccount(const QString& account)
{
    account_ = account;
    mailbox_.clear();
    accessToken_.clear();
    refreshToken_.clear();
    expiresAt_ = QDateTime();
    storeLookedUp_ = false;
}

void MicrosoftSignIn::loadRemembered()
{
    storeLookedUp_ = true;
    const auto stored = store_.read(kStoreKey);
    storeWorks_ = stored.has_value();
    if (!stored || stored->isEmpty())
        return;
    const QJsonObject entry = QJsonDocument::fromJson(stored->toUtf8()).object();
    if (entry.value(u"account").toString().compare(account_, Qt::CaseInsensitive) != 0)
        return;
    refreshToken_ = entry.value(u"refresh_token").toString();
    mailbox_ = entry.value(u"mailbox").toString();
}

void MicrosoftSignIn::storeRefreshToken()
{
    if (refreshToken_.isEmpty())
        return;
    QJsonObject entry{{QStringLiteral("account"), account_}, {QStringLiteral("refresh_token"), refreshToken_}};
    if (!mailbox_.isEmpty())
        entry.insert(QStringLiteral("mailbox"), mailbox_);
    storeWorks_ = store_.write(kStoreKey, QString::fromUtf8(QJsonDocument(entry).toJson(QJsonDocument::Compact)));
}

void MicrosoftSignIn::dropRefreshToken()
{
    accessToken_.clear();
    refreshToken_.clear();
    if (remembered_)
        storeWorks_ = store_.remove(kStoreKey);
}

void MicrosoftSignIn::setRemembered(bool remember)
{
    remembered_ = remember;
    if (remember)
        storeRefreshToken();
    else
        storeWorks_ = store_.remove(kStoreKey);
}

void MicrosoftSignIn::signOut()
{
    switchAccount(QString());
    storeLookedUp_ = true;
    storeWorks_ = store_.remove(kStoreKey);
}

}  // namespace tallyhive::auth

#include "auth/microsoft_sign_in.h"

#include "auth/browser_launch.h"
#include "auth/pkce.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QOAuth2AuthorizationCodeFlow>
#include <QOAuthHttpServerReplyHandler>
#include <QTimer>

namespace tallyhive::auth {
namespace {

const QString kStoreKey = QStringLiteral("microsoft-sign-in");
// An access token this close to its end is refreshed before use.
constexpr qint64 kExpiryMarginSeconds = 120;

QByteArray formField(const char* name, const QString& value)
{
    return QByteArray(name) + '=' + QUrl::toPercentEncoding(value);
}

// Values of the redirect's query arrive still percent-encoded, with '+' for blanks.
QString redirectText(const QVariant& value)
{
    QByteArray text = value.toString().toUtf8();
    text.replace('+', ' ');
    return QUrl::fromPercentEncoding(text);
}

}  // namespace

MicrosoftSignIn::MicrosoftSignIn(OAuthSettings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)), store_(settings_.storeService)
{
}

MicrosoftSignIn::~MicrosoftSignIn() = default;

platform::BrowserSignIn::Outcome MicrosoftSignIn::signInInBrowser(const QString& account)
{
    decided_ = false;
    detail_.clear();
    QOAuth2AuthorizationCodeFlow flow(&network_);
    flow.setClientIdentifier(settings_.clientId);
    flow.setAuthorizationUrl(settings_.authorizeUrl);
    flow.setAccessTokenUrl(settings_.tokenUrl);
    flow.setScope(settings_.scope);
    const QString state = QString::fromLatin1(randomUrlSafe(32));
    flow.setState(state);
    // The address must be spelt out: the port-only constructors listen on
    // every interface, and (LocalHost, 0) picks the (port, parent) overload.
    QOAuthHttpServerReplyHandler handler(QHostAddress(QHostAddress::LocalHost), 0);
    if (!handler.isListening()) {
        last_ = Outcome::Failed;
        detail_ = QStringLiteral("no port on 127.0.0.1 could be opened for the answer");
        return last_;
    }
    handler.setCallbackText(QStringLiteral("Signed in. You can close this page and return to Tallyhive."));
    flow.setReplyHandler(&handler);

    const Pkce pkce = Pkce::create();
    flow.setModifyParametersFunction([&](QAbstractOAuth::Stage stage, QMultiMap<QString, QVariant>* parameters) {
        switch (stage) {
        case QAbstractOAuth::Stage::RequestingAuthorization:
            parameters->insert(QStringLiteral("code_challenge"), pkce.challenge);
            parameters->insert(QStringLiteral("code_challenge_method"), QStringLiteral("S256"));
            parameters->insert(QStringLiteral("login_hint"), account);
            break;
        case QAbstractOAuth::Stage::RequestingAccessToken: {
            parameters->insert(QStringLiteral("code_verifier"), pkce.verifier);
            // Qt 6.4 passes the code on still percent-encoded, and encodes it
            // again; the provider would see a code it never issued.
            const QString code = parameters->value(QStringLiteral("code")).toString();
            if (code.contains(u'%')) {
                parameters->remove(QStringLiteral("code"));
                parameters->insert(QStringLiteral("code"), QUrl::fromPercentEncoding(code.toUtf8()));
            }
            parameters->remove(QStringLiteral("client_secret"));  // a public client has none
            break;
        }
        default:
            break;
        }
    });

    QEventLoop loop;
    wait_ = &loop;
    connect(&flow, &QAbstractOAuth::authorizeWithBrowser, &loop, [this](const QUrl& url) {
        if (!openInBrowser(settings_.browserCommand, url))
            finishWait(Outcome::Failed, QStringLiteral("the browser could not be started"));
    });
    connect(&handler, &QAbstractOAuthReplyHandler::callbackReceived, &loop,
            [this, state](const QVariantMap& values) { checkRedirect(values, state); });
    connect(&flow, &QAbstractOAuth::granted, &loop, [this] { finishWait(Outcome::SignedIn); });
    // Qt 6.4 only logs a refused token request and then waits for ever.
    connect(&network_, &QNetworkAccessManager::finished, &loop, [this](QNetworkReply* reply) { checkTokenAnswer(reply); });
    QTimer::singleShot(settings_.browserWaitMs, &loop, [this] { finishWait(Outcome::TimedOut); });

    flow.grant();
    if (!decided_)
        loop.exec();
    wait_ = nullptr;
    handler.close();

    last_ = waitOutcome_;
    if (last_ == Outcome::SignedIn) {
        switchAccount(account);
        storeLookedUp_ = true;  // this sign-in replaces any remembered one
        const qint64 lifetime = flow.expirationAt().isValid() ? QDateTime::currentDateTime().secsTo(flow.expirationAt()) : 0;
        keepTokens(flow.token(), flow.refreshToken(), lifetime);
    }
    return last_;
}

void MicrosoftSignIn::cancel() { finishWait(Outcome::Cancelled); }

void MicrosoftSignIn::finishWait(Outcome outcome, const QString& detail)
{
    if (decided_ || !wait_)
        return;
    decided_ = true;
    waitOutcome_ = outcome;
    detail_ = detail;
    wait_->quit();
}

void MicrosoftSignIn::checkRedirect(const QVariantMap& values, const QString& state)
{
    const QString error = redirectText(values.value(QStringLiteral("error")));
    if (!error.isEmpty()) {
        const QString description = redirectText(values.value(QStringLiteral("error_description")));
        finishWait(error == u"access_denied" ? Outcome::Declined : Outcome::Failed, description.isEmpty() ? error : description);
        return;
    }
    // Anyone on this machine can reach the loopback port; only the answer to
    // our own request counts.
    if (redirectText(values.value(QStringLiteral("state"))) != state) {
        finishWait(Outcome::Failed, QStringLiteral("the answer did not belong to this sign-in (state mismatch), so it was refused"));
        return;
    }
    if (values.value(QStringLiteral("code")).toString().isEmpty())
        finishWait(Outcome::Failed, QStringLiteral("the answer held no authorization code"));
}

void MicrosoftSignIn::checkTokenAnswer(QNetworkReply* reply)
{
    if (reply->url().adjusted(QUrl::RemoveQuery) != settings_.tokenUrl.adjusted(QUrl::RemoveQuery))
        return;
    // peek, not read: the flow reads the same reply after this.
    const TokenReply answer = parseTokenReply(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                                              reply->peek(reply->bytesAvailable()));
    switch (answer.kind) {
    case TokenReply::Kind::Tokens:
        return;  // the flow takes it from here
    case TokenReply::Kind::Unreachable:
        finishWait(Outcome::Unreachable, reply->errorString());
        return;
    case TokenReply::Kind::Refused:
    case TokenReply::Kind::Malformed:
        finishWait(Outcome::Failed, answer.detail());
        return;
    }
}

QString MicrosoftSignIn::accessToken(const QString& account, bool refresh)
{
    if (account.compare(account_, Qt::CaseInsensitive) != 0)
        switchAccount(account);
    if (remembered_ && refreshToken_.isEmpty() && !storeLookedUp_)
        loadRemembered();
    const bool fresh = !accessToken_.isEmpty()
                       && (!expiresAt_.isValid() || QDateTime::currentDateTime().secsTo(expiresAt_) > kExpiryMarginSeconds);
    if (!refresh && fresh) {
        last_ = Outcome::SignedIn;
        return accessToken_;
    }
    if (refreshToken_.isEmpty()) {
        last_ = Outcome::NoToken;
        detail_ = QStringLiteral("there is no sign-in to renew");
        return {};
    }
    return refreshNow();
}

// The flow's own refresh sends an empty client secret and a redirect address,
// which a public client must not, and reports no failure: a plain POST does it.
QString MicrosoftSignIn::refreshNow()
{
    QNetworkRequest request(settings_.tokenUrl);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    request.setTransferTimeout(settings_.requestTimeoutMs);
    const QByteArray form = formField("grant_type", QStringLiteral("refresh_token")) + '&'
                            + formField("client_id", settings_.clientId) + '&' + formField("refresh_token", refreshToken_)
                            + '&' + formField("scope", settings_.scope);
    QNetworkReply* reply = network_.post(request, form);
    QEventLoop loop;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const TokenReply answer = parseTokenReply(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll());
    const QString networkError = reply->errorString();
    reply->deleteLater();

    switch (answer.kind) {
    case TokenReply::Kind::Tokens:
        last_ = Outcome::SignedIn;
        keepTokens(answer.accessToken, answer.refreshToken.isEmpty() ? refreshToken_ : answer.refreshToken, answer.expiresInSeconds);
        return accessToken_;
    case TokenReply::Kind::Unreachable:
        last_ = Outcome::Unreachable;
        detail_ = networkError;
        return {};
    case TokenReply::Kind::Refused:
        if (answer.error == u"invalid_grant") {
            // Revoked, expired or already used: only the browser helps now.
            dropRefreshToken();
            last_ = Outcome::NoToken;
        } else {
            last_ = Outcome::Failed;
        }
        detail_ = answer.detail();
        return {};
    case TokenReply::Kind::Malformed:
        last_ = Outcome::Failed;
        detail_ = answer.detail();
        return {};
    }
    return {};
}

void MicrosoftSignIn::keepTokens(const QString& accessToken, const QString& refreshToken, qint64 expiresInSeconds)
{
    accessToken_ = accessToken;
    expiresAt_ = expiresInSeconds > 0 ? QDateTime::currentDateTime().addSecs(expiresInSeconds) : QDateTime();
    // Each refresh may hand out a new refresh token; only the newest is kept.
    const bool changed = refreshToken != refreshToken_;
    refreshToken_ = refreshToken;
    if (remembered_ && changed)
        storeRefreshToken();
}

void MicrosoftSignIn::switchAccount(const QString& account)
{
    account_ = account;
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
    if (entry.value(u"account").toString().compare(account_, Qt::CaseInsensitive) == 0)
        refreshToken_ = entry.value(u"refresh_token").toString();
}

void MicrosoftSignIn::storeRefreshToken()
{
    if (refreshToken_.isEmpty())
        return;
    const QJsonObject entry{{QStringLiteral("account"), account_}, {QStringLiteral("refresh_token"), refreshToken_}};
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

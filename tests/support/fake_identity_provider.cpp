#include "support/fake_identity_provider.h"

#include "interfaces/error.h"
#include "support/server_thread.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QMutexLocker>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <map>
#include <set>

namespace tallyhive::testing {

namespace {

const QString kImapScope = QStringLiteral("https://outlook.office.com/IMAP.AccessAsUser.All");

struct Grant {
    QString challenge;
    QString redirectUri;
    QString account;
    bool openId = false;
};

struct HttpAnswer {
    int status = 200;
    QByteArray location;  // a redirect when set
    QByteArray json;
    QByteArray contentType = "application/json";
    bool silent = false;  // no answer at all; the connection stays open
};

// Microsoft's portal registers a desktop app's loopback address as
// "http://localhost" and ignores the port of the address sent.
bool registeredRedirect(const QUrl& url)
{
    return url.scheme() == u"http" && url.host() == u"localhost" && (url.path().isEmpty() || url.path() == u"/")
           && !url.hasQuery() && !url.hasFragment() && url.userInfo().isEmpty();
}

bool asksOpenId(const QString& scope) { return scope.split(u' ').contains(QStringLiteral("openid")); }

// Unsigned, as the client reads it without checking the signature.
QString idToken(const QString& account)
{
    const auto part = [](const QByteArray& json) {
        return json.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    };
    const QByteArray claims = QJsonDocument(QJsonObject{{QStringLiteral("email"), account},
                                                        {QStringLiteral("preferred_username"), account}})
                                  .toJson(QJsonDocument::Compact);
    return QString::fromLatin1(part("{\"alg\":\"none\"}") + '.' + part(claims) + ".c2ln");
}

QString random(const char* prefix)
{
    // '!' and '*' must be percent-encoded in a query, as in Microsoft's codes.
    return QString::fromLatin1(prefix) + QString::number(QRandomGenerator::global()->generate64(), 36) + QStringLiteral("!*")
           + QString::number(QRandomGenerator::global()->generate64(), 36);
}

QByteArray json(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

HttpAnswer oauthError(int status, const QString& error, const QString& description)
{
    return {status, {}, json({{QStringLiteral("error"), error}, {QStringLiteral("error_description"), description}})};
}

}  // namespace

struct FakeIdentityProvider::State {
    QThread thread;
    int port = 0;
    mutable QMutex guard;
    bool decline = false;
    bool forge = false;
    QString account;
    int delayMs = 0;
    int tokenDelayMs = 0;
    int lifetimeSeconds = 3600;
    bool olderWay = false;
    FakeIdentityProvider::TokenFault tokenFault = FakeIdentityProvider::TokenFault::None;
    int authorizeRequests = 0;
    int codeExchanges = 0;
    int refreshes = 0;
    QString lastLoginHint;
    std::map<QString, Grant> codes;
    std::map<QString, QString> refreshTokens;  // live ones -> account
    std::map<QString, QString> accessTokens;   // live ones -> account
    QStringList issued;
    QStringList complaints;

    QString issue(std::map<QString, QString>& live, const char* prefix, const QString& owner)
    {
        const QString token = random(prefix);
        live[token] = owner;
        issued << token;
        return token;
    }

    // A refresh the older way hands out no new refresh token.
    HttpAnswer tokens(const QString& owner, bool openId, bool newRefreshToken = true)
    {
        const QString access = issue(accessTokens, "at.", owner);
        QJsonObject answer{{QStringLiteral("token_type"), QStringLiteral("Bearer")},
                           {QStringLiteral("scope"), kImapScope},
                           {QStringLiteral("expires_in"), olderWay ? QJsonValue(QString::number(lifetimeSeconds)) : QJsonValue(lifetimeSeconds)},
                           {QStringLiteral("access_token"), access}};
        if (newRefreshToken)
            answer.insert(QStringLiteral("refresh_token"), issue(refreshTokens, "rt.", owner));
        if (openId)
            answer.insert(QStringLiteral("id_token"), idToken(owner));
        return {200, {}, json(answer)};
    }

    HttpAnswer authorize(const QUrlQuery& query)
    {
        ++authorizeRequests;
        lastLoginHint = query.queryItemValue(QStringLiteral("login_hint"), QUrl::FullyDecoded);
        const QString redirect = query.queryItemValue(QStringLiteral("redirect_uri"), QUrl::FullyDecoded);
        if (!registeredRedirect(QUrl(redirect))) {
            complaints << QStringLiteral("an unregistered redirect_uri");
            return oauthError(400, QStringLiteral("invalid_request"), QStringLiteral("AADSTS50011: the redirect URI does not match"));
        }
        QUrlQuery answer;
        const auto fail = [&](const QString& error, const QString& description) {
            complaints << description;
            answer.addQueryItem(QStringLiteral("error"), error);
            answer.addQueryItem(QStringLiteral("error_description"), QString::fromLatin1(QUrl::toPercentEncoding(description)));
        };
        if (query.queryItemValue(QStringLiteral("client_id")) != QLatin1String(kClientId))
            fail(QStringLiteral("unauthorized_client"), QStringLiteral("AADSTS700016: unknown application"));
        else if (query.queryItemValue(QStringLiteral("response_type")) != u"code")
            fail(QStringLiteral("unsupported_response_type"), QStringLiteral("response_type must be code"));
        else if (query.queryItemValue(QStringLiteral("code_challenge_method")) != u"S256"
                 || query.queryItemValue(QStringLiteral("code_challenge")).isEmpty())
            fail(QStringLiteral("invalid_request"), QStringLiteral("PKCE with S256 is required"));
        else if (!query.queryItemValue(QStringLiteral("scope"), QUrl::FullyDecoded).split(u' ').contains(kImapScope))
            fail(QStringLiteral("invalid_scope"), QStringLiteral("the IMAP scope is missing"));
        else if (decline) {
            answer.addQueryItem(QStringLiteral("error"), QStringLiteral("access_denied"));
            answer.addQueryItem(QStringLiteral("error_description"),
                                QString::fromLatin1(QUrl::toPercentEncoding(QStringLiteral("The user has denied access to the scope requested by the client application."))));
        } else {
            const QString code = random("M.C5_code.");
            codes[code] = {query.queryItemValue(QStringLiteral("code_challenge")), redirect,
                           // The browser's own account, unless the user was let choose: then the one meant.
                           account.isEmpty() || query.queryItemValue(QStringLiteral("prompt")) == u"select_account" ? lastLoginHint : account,
                           asksOpenId(query.queryItemValue(QStringLiteral("scope"), QUrl::FullyDecoded))};
            answer.addQueryItem(QStringLiteral("code"), QString::fromLatin1(QUrl::toPercentEncoding(code)));
        }
        if (!answer.hasQueryItem(QStringLiteral("error")) || decline) {
            const QString state = forge ? QStringLiteral("forged-state") : query.queryItemValue(QStringLiteral("state"));
            answer.addQueryItem(QStringLiteral("state"), state);
        }
        QUrl target(redirect);
        target.setQuery(answer.query(QUrl::FullyEncoded));
        return {302, target.toEncoded(), {}};
    }

    HttpAnswer token(const QUrlQuery& form)
    {
        const HttpAnswer answer = properToken(form);
        switch (tokenFault) {
        case FakeIdentityProvider::TokenFault::None:
            return answer;
        case FakeIdentityProvider::TokenFault::Redirect:
            return {302, QByteArrayLiteral("http://127.0.0.1:9/elsewhere"), {}};
        case FakeIdentityProvider::TokenFault::WebPage:
            // What a proxy or a broken gateway sends, tokens and all.
            return {502, {}, "<html><body>Bad gateway " + answer.json + "</body></html>", "text/html"};
        case FakeIdentityProvider::TokenFault::Silence:
            return {0, {}, {}, {}, true};
        case FakeIdentityProvider::TokenFault::HugeToken:
            return {200, {}, json({{QStringLiteral("token_type"), QStringLiteral("Bearer")},
                                   {QStringLiteral("access_token"), QString(70 * 1024, u'a')}})};
        }
        return answer;
    }

    HttpAnswer properToken(const QUrlQuery& form)
    {
        const QString grantType = form.queryItemValue(QStringLiteral("grant_type"));
        if (form.hasQueryItem(QStringLiteral("client_secret"))) {
            complaints << QStringLiteral("a client secret was sent");
            return oauthError(401, QStringLiteral("invalid_client"), QStringLiteral("AADSTS700025: public clients send no secret"));
        }
        if (form.queryItemValue(QStringLiteral("client_id")) != QLatin1String(kClientId))
            return oauthError(400, QStringLiteral("invalid_client"), QStringLiteral("AADSTS700016: unknown application"));
        if (grantType == u"authorization_code") {
            ++codeExchanges;
            const QString code = form.queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded);
            const auto found = codes.find(code);
            if (found == codes.end()) {
                complaints << QStringLiteral("an unknown code was exchanged");
                return oauthError(400, QStringLiteral("invalid_grant"), QStringLiteral("AADSTS70000: the code is unknown or used"));
            }
            const Grant grant = found->second;
            codes.erase(found);  // a code works once
            const QByteArray verifier = form.queryItemValue(QStringLiteral("code_verifier"), QUrl::FullyDecoded).toLatin1();
            const QString challenge = QString::fromLatin1(QCryptographicHash::hash(verifier, QCryptographicHash::Sha256)
                                                              .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
            if (verifier.isEmpty() || challenge != grant.challenge) {
                complaints << QStringLiteral("the PKCE verifier did not match");
                return oauthError(400, QStringLiteral("invalid_grant"), QStringLiteral("AADSTS501481: the code verifier does not match"));
            }
            if (form.queryItemValue(QStringLiteral("redirect_uri"), QUrl::FullyDecoded) != grant.redirectUri)
                return oauthError(400, QStringLiteral("invalid_grant"), QStringLiteral("AADSTS50148: redirect_uri differs"));
            return tokens(grant.account, grant.openId);
        }
        if (grantType == u"refresh_token") {
            ++refreshes;
            if (!form.queryItemValue(QStringLiteral("scope"), QUrl::FullyDecoded).split(u' ').contains(kImapScope))
                complaints << QStringLiteral("a refresh without the IMAP scope");
            const auto found = refreshTokens.find(form.queryItemValue(QStringLiteral("refresh_token"), QUrl::FullyDecoded));
            if (found == refreshTokens.end())
                return oauthError(400, QStringLiteral("invalid_grant"), QStringLiteral("AADSTS70008: the refresh token has expired or been revoked"));
            const QString owner = found->second;
            if (!olderWay)
                refreshTokens.erase(found);  // rotation: the old one is spent
            return tokens(owner, asksOpenId(form.queryItemValue(QStringLiteral("scope"), QUrl::FullyDecoded)), !olderWay);
        }
        return oauthError(400, QStringLiteral("unsupported_grant_type"), grantType);
    }

    HttpAnswer introspect(const QUrlQuery& form)
    {
        const auto found = accessTokens.find(form.queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded));
        if (found == accessTokens.end())
            return {200, {}, json({{QStringLiteral("active"), false}})};
        return {200, {}, json({{QStringLiteral("active"), true}, {QStringLiteral("username"), found->second},
                               {QStringLiteral("scope"), QStringLiteral("mail")}})};
    }

    HttpAnswer answer(const QByteArray& method, const QUrl& target, const QByteArray& body)
    {
        QMutexLocker lock(&guard);
        // A form body: '+' stands for a blank before percent-decoding.
        QUrlQuery form(QString::fromLatin1(QByteArray(body).replace('+', "%20")));
        // The one application is registered for personal accounts only.
        const QString path = target.path().startsWith(u"/consumers/") ? target.path().mid(10) : target.path();
        if (method == "GET" && path == u"/oauth2/v2.0/authorize")
            return authorize(QUrlQuery(target));
        if (method == "POST" && path == u"/oauth2/v2.0/token")
            return token(form);
        if (method == "POST" && target.path() == u"/introspect")
            return introspect(form);
        return {404, {}, json({{QStringLiteral("error"), QStringLiteral("not_found")}})};
    }
};

namespace {

// One HTTP/1.1 request per connection, then the connection closes.
class HttpConnection : public QObject {
public:
    HttpConnection(FakeIdentityProvider::State& state, QTcpSocket* socket) : QObject(socket), state_(state), socket_(socket)
    {
        connect(socket_, &QTcpSocket::readyRead, this, [this] { onData(); });
        connect(socket_, &QTcpSocket::disconnected, socket_, &QObject::deleteLater);
    }

private:
    void onData()
    {
        input_ += socket_->readAll();
        const qsizetype headerEnd = input_.indexOf("\r\n\r\n");
        if (headerEnd < 0 || answered_)
            return;
        const QList<QByteArray> lines = input_.left(headerEnd).split('\n');
        qsizetype length = 0;
        for (const QByteArray& line : lines) {
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        }
        if (input_.size() < headerEnd + 4 + length)
            return;
        answered_ = true;
        const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
        if (requestLine.size() < 2)
            return socket_->abort();
        const HttpAnswer answer = state_.answer(requestLine[0], QUrl(QString::fromLatin1(requestLine[1])),
                                                input_.mid(headerEnd + 4, length));
        int delay = 0;
        {
            QMutexLocker lock(&state_.guard);
            delay = state_.delayMs + (requestLine[1].startsWith("/oauth2/v2.0/token") ? state_.tokenDelayMs : 0);
        }
        if (!answer.silent)
            QTimer::singleShot(delay, this, [this, answer] { send(answer); });
    }

    void send(const HttpAnswer& answer)
    {
        QByteArray reply = "HTTP/1.1 " + QByteArray::number(answer.status) + (answer.status == 302 ? " Found" : " Answer") + "\r\n";
        if (!answer.location.isEmpty())
            reply += "Location: " + answer.location + "\r\n";
        reply += "Content-Type: " + answer.contentType + "\r\nContent-Length: " + QByteArray::number(answer.json.size())
                 + "\r\nConnection: close\r\n\r\n" + answer.json;
        socket_->write(reply);
        socket_->disconnectFromHost();
    }

    FakeIdentityProvider::State& state_;
    QTcpSocket* socket_;
    QByteArray input_;
    bool answered_ = false;
};

class HttpServer : public QTcpServer {
public:
    explicit HttpServer(FakeIdentityProvider::State& state) : state_(state) {}

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        new HttpConnection(state_, socket);
    }

private:
    FakeIdentityProvider::State& state_;
};

}  // namespace

FakeIdentityProvider::FakeIdentityProvider() : state_(std::make_unique<State>())
{
    state_->port = listenOnOwnThread(state_->thread, [this] { return new HttpServer(*state_); }, QStringLiteral("the fake identity provider"));
}

FakeIdentityProvider::~FakeIdentityProvider()
{
    state_->thread.quit();
    state_->thread.wait();
}

int FakeIdentityProvider::port() const { return state_->port; }

QString FakeIdentityProvider::authority() const { return QStringLiteral("http://127.0.0.1:%1/oauth2/v2.0").arg(port()); }

QString FakeIdentityProvider::introspectionUrl() const { return QStringLiteral("http://127.0.0.1:%1/introspect").arg(port()); }

namespace {

template <typename Action>
auto locked(QMutex& guard, Action action)
{
    QMutexLocker lock(&guard);
    return action();
}

}  // namespace

void FakeIdentityProvider::declineConsent(bool decline) { locked(state_->guard, [&] { state_->decline = decline; }); }
void FakeIdentityProvider::forgeState(bool forge) { locked(state_->guard, [&] { state_->forge = forge; }); }
void FakeIdentityProvider::signInAs(const QString& account) { locked(state_->guard, [&] { state_->account = account; }); }
void FakeIdentityProvider::answerSlowly(int delayMs) { locked(state_->guard, [&] { state_->delayMs = delayMs; }); }
void FakeIdentityProvider::answerTokensSlowly(int delayMs) { locked(state_->guard, [&] { state_->tokenDelayMs = delayMs; }); }
void FakeIdentityProvider::issueTokensLasting(int seconds) { locked(state_->guard, [&] { state_->lifetimeSeconds = seconds; }); }
void FakeIdentityProvider::answerTheOlderWay(bool older) { locked(state_->guard, [&] { state_->olderWay = older; }); }
void FakeIdentityProvider::tokenFault(TokenFault fault) { locked(state_->guard, [&] { state_->tokenFault = fault; }); }
void FakeIdentityProvider::expireAccessTokens() { locked(state_->guard, [&] { state_->accessTokens.clear(); }); }
void FakeIdentityProvider::revokeRefreshTokens() { locked(state_->guard, [&] { state_->refreshTokens.clear(); }); }
int FakeIdentityProvider::authorizeRequests() const { return locked(state_->guard, [&] { return state_->authorizeRequests; }); }
int FakeIdentityProvider::codeExchanges() const { return locked(state_->guard, [&] { return state_->codeExchanges; }); }
int FakeIdentityProvider::refreshes() const { return locked(state_->guard, [&] { return state_->refreshes; }); }
QString FakeIdentityProvider::lastLoginHint() const { return locked(state_->guard, [&] { return state_->lastLoginHint; }); }
QStringList FakeIdentityProvider::issuedSecrets() const { return locked(state_->guard, [&] { return state_->issued; }); }
QStringList FakeIdentityProvider::complaints() const { return locked(state_->guard, [&] { return state_->complaints; }); }

}  // namespace tallyhive::testing

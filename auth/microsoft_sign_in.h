#pragma once

#include "auth/oauth_settings.h"
#include "auth/secret_store.h"
#include "auth/token_reply.h"
#include "interfaces/browser_sign_in.h"

#include <QDateTime>
#include <QNetworkAccessManager>
#include <QObject>

#include <memory>

class QEventLoop;
class QUrlQuery;

namespace tallyhive::auth {

class TokenRequest;

// Sign-in with the authorization-code flow, PKCE (S256) and a random state,
// answered on a loopback port (http://localhost) that is open only while the
// browser has the user. The access token lives in memory only; the refresh
// token also in the secret store while "Remember me" asks for it, with the
// address of the mailbox it opens.
class MicrosoftSignIn : public QObject, public platform::BrowserSignIn {
public:
    explicit MicrosoftSignIn(OAuthSettings settings, QObject* parent = nullptr);
    ~MicrosoftSignIn() override;

    void useApplication(const QString& clientId, const QString& authority) override;
    platform::SignInResult signInInBrowser(const QString& account, bool chooseAccount = false) override;
    void setBrowserNotOpenedNotice(std::function<void(const QString& address)> notice) override;
    void cancel() override;
    bool waiting() const override { return wait_ != nullptr; }
    platform::AccessTokenResult accessToken(const QString& account, bool refresh) override;
    QString mailboxAddress(const QString& account) const override;
    void setRemembered(bool remember) override;
    void signOut() override;
    bool canRemember() const override { return storeWorks_; }

private:
    void finishWait(Outcome outcome, const QString& detail = {});
    std::unique_ptr<TokenRequest> redeemCode(const QUrlQuery& query, const QString& redirect, const QByteArray& verifier);
    QUrl authorizeAddress(const QString& account, bool chooseAccount, const QString& redirect, const QString& state,
                          const QByteArray& challenge) const;
    platform::AccessTokenResult refreshNow();
    void keepTokens(const TokenReply& reply);
    void switchAccount(const QString& account);
    void loadRemembered();
    void storeRefreshToken();
    void dropRefreshToken();

    OAuthSettings settings_;
    QNetworkAccessManager network_;
    SecretStore store_;
    std::function<void(const QString&)> browserNotOpened_;
    QString account_;
    QString mailbox_;  // empty while the ID token has not named it
    QString accessToken_;
    QString refreshToken_;
    QDateTime expiresAt_;
    bool remembered_ = false;
    bool storeWorks_ = true;
    bool storeLookedUp_ = false;
    QEventLoop* wait_ = nullptr;
    bool decided_ = false;
    platform::SignInResult waitResult_;
};

}  // namespace tallyhive::auth

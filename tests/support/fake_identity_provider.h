#pragma once

#include <QString>
#include <QStringList>

#include <memory>

namespace tallyhive::testing {

// An OAuth 2.0 identity provider of our own on http://127.0.0.1, on a thread
// of its own (the client under test blocks the thread that calls it):
//
//   GET  /oauth2/v2.0/authorize  answers at once with a redirect to the
//        loopback redirect_uri carrying a code (or the error asked for); as
//        with an app registered in Microsoft's portal, only http://localhost
//        with any port is taken, and PKCE is required
//   POST /oauth2/v2.0/token      authorization_code with the PKCE check, and
//        refresh_token with rotation; a public client sends no secret; with
//        "openid" in the scope an ID token names the account
//   POST /introspect             for Dovecot's oauth2 passdb: whether a token is live
//
// The one application it knows is registered for personal accounts only:
// the two OAuth paths answer under /consumers/ too, not under another tenant.
//
// Codes hold characters that must be percent-encoded, as Microsoft's do.
class FakeIdentityProvider {
public:
    static constexpr const char* kClientId = "11111111-2222-3333-4444-555555555555";

    FakeIdentityProvider();
    ~FakeIdentityProvider();
    FakeIdentityProvider(const FakeIdentityProvider&) = delete;
    FakeIdentityProvider& operator=(const FakeIdentityProvider&) = delete;

    QString authority() const;         // .../oauth2/v2.0, without /authorize or /token
    QString introspectionUrl() const;
    int port() const;

    // Switches.
    void declineConsent(bool decline);      // the user says no on the consent page
    void forgeState(bool forge);            // the redirect carries a state of its own
    void signInAs(const QString& account);  // who signs in, whatever the login hint; empty: the hint
    void answerSlowly(int delayMs);         // every answer comes this late
    void answerTokensSlowly(int delayMs);   // the token endpoint's answers come this much later still
    void issueTokensLasting(int seconds);   // the access tokens' lifetime it announces (an hour unless told)
    void answerTheOlderWay(bool older);     // the lifetime as a text, and refreshes that keep the refresh token
    // What the token endpoint does instead of answering properly.
    enum class TokenFault { None, Redirect, WebPage, Silence, HugeToken };
    void tokenFault(TokenFault fault);
    void expireAccessTokens();              // every access token issued so far is dead
    void revokeRefreshTokens();             // every refresh token issued so far is dead

    // What was asked.
    int authorizeRequests() const;
    int codeExchanges() const;
    int refreshes() const;
    QString lastLoginHint() const;
    // Every token handed out, so tests can look for them where they must not be.
    QStringList issuedSecrets() const;
    // Faults in the client's requests (missing PKCE, a secret sent, ...).
    QStringList complaints() const;

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace tallyhive::testing

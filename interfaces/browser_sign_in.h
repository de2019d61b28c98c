#pragma once

#include <QString>

#include <functional>

namespace tallyhive::platform {

enum class SignInOutcome {
    SignedIn,
    Cancelled,    // cancel() ended the wait
    Declined,     // the user declined, or the provider refused the request
    TimedOut,     // no answer within the wait limit
    Unreachable,  // the provider could not be reached, or did not answer in time
    Unexpected,   // the provider answered with something that is no answer (detail: its HTTP status)
    Failed,       // any other failure: a refused code exchange, an answer without a code
    NoToken,      // accessToken(): nothing to refresh from, or the refresh token was refused
};

// What became of a sign-in or a token request, with the provider's own words
// about a failure, for the user. Never holds a token.
struct SignInResult {
    SignInOutcome outcome = SignInOutcome::NoToken;
    QString detail;

    bool signedIn() const { return outcome == SignInOutcome::SignedIn; }
    // The provider could not be asked, or answered with something that is no
    // answer: the browser would fare no better.
    bool serviceFailed() const { return outcome == SignInOutcome::Unreachable || outcome == SignInOutcome::Unexpected; }
};

// An access token, there when signedIn().
struct AccessTokenResult : SignInResult {
    QString token;
};

// Signing in to a mail account on the identity provider's page in a browser
// (OAuth 2.0), and the tokens that come of it. Tokens never leave this
// object except as access tokens handed to the IMAP client.
class BrowserSignIn {
public:
    using Outcome = SignInOutcome;

    virtual ~BrowserSignIn() = default;

    // The registered application to sign in as, and the base address of its
    // /authorize and /token. A change forgets the tokens held.
    virtual void useApplication(const QString& clientId, const QString& authority) = 0;

    // Opens the sign-in page for account and waits, letting events run, until
    // the answer arrives, the wait limit passes or cancel() is called. With
    // chooseAccount the page lets the user choose the account instead of
    // signing in the one the browser already holds.
    virtual SignInResult signInInBrowser(const QString& account, bool chooseAccount = false) = 0;
    // Runs with the sign-in address when the browser could not be opened;
    // the wait goes on, so the user can open the address by hand.
    virtual void setBrowserNotOpenedNotice(std::function<void(const QString& address)> notice) = 0;
    virtual void cancel() = 0;
    virtual bool waiting() const = 0;

    // An access token for account, never through the browser: the one held
    // while it is valid, else (and always when refresh is true) a new one
    // from the refresh token.
    virtual AccessTokenResult accessToken(const QString& account, bool refresh) = 0;
    // The address the ID token of account's sign-in named: the person may
    // have signed in in the browser as someone else (an alias, a second
    // account). account itself while that is not known.
    virtual QString mailboxAddress(const QString& account) const = 0;

    // "Remember me": while true the refresh token is kept in the desktop's
    // secret store; turning it off deletes it from there.
    virtual void setRemembered(bool remember) = 0;
    // Forgets the sign-in: the tokens held and the one in the secret store.
    virtual void signOut() = 0;
    // False once the secret store could not be used; the sign-in then lasts
    // for this run only.
    virtual bool canRemember() const = 0;
};

}  // namespace tallyhive::platform

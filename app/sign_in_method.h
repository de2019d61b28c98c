#pragma once

#include <QString>

namespace tallyhive {

// How Connect signs in to the mailbox.
enum class SignInMethod {
    Password,                  // IMAP LOGIN with the Password box
    Microsoft,                 // Microsoft account in the browser, then IMAP XOAUTH2
    MicrosoftWithoutClientId,  // Microsoft's server, but no registered application to sign in with
};

// mode decides: "password", "microsoft", or "auto" (any other), which takes
// Microsoft sign-in for Microsoft's IMAP hosts and LOGIN elsewhere.
// clientId: the registered application Microsoft sign-in would use;
// imapHost: the server the mailbox is read from.
SignInMethod chooseSignInMethod(const QString& mode, const QString& clientId, const QString& imapHost);

bool isMicrosoftHost(const QString& host);

// What the access token must allow: IMAP only, plus a refresh token, and an
// ID token that names the account really signed in (its preferred_username
// comes only with profile). A token for any other resource is refused by
// the IMAP server.
inline const QString MicrosoftImapScope =
    QStringLiteral("https://outlook.office.com/IMAP.AccessAsUser.All offline_access openid email profile");

}  // namespace tallyhive

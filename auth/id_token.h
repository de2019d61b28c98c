#pragma once

#include <QString>

namespace tallyhive::auth {

// The address that signed in, read from an OpenID Connect ID token's claims
// ("email", else "preferred_username"). The token comes straight from the
// token endpoint over TLS, so its signature is not checked. Empty when the
// token holds no usable address: one that could not be sent safely as the
// IMAP user name counts as none.
QString idTokenAddress(const QString& idToken);

// Whether address can go into the XOAUTH2 line, between its \x01
// separators, as it is: one "@", no blank, no control character, and none
// of the invisible formatting characters (U+202E and the like) that would
// show the person another address than the one used.
bool isUsableAddress(const QString& address);

}  // namespace tallyhive::auth

#pragma once

#include <QString>

namespace tallyhive::auth {

// The address that signed in, read from an OpenID Connect ID token's claims
// ("email", else "preferred_username"). The token comes straight from the
// token endpoint over TLS, so its signature is not checked. Empty when the
// token holds no usable address: one that could not be sent safely as the
// IMAP user name counts as none.
QString idTokenAddress(const QString& idToken);

}  // namespace tallyhive::auth

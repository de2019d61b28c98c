#pragma once

#include <QByteArray>

namespace tallyhive::auth {

// Proof Key for Code Exchange (RFC 7636): a random verifier kept here and its
// S256 challenge sent with the authorization request.
struct Pkce {
    QByteArray verifier;
    QByteArray challenge;  // base64url of SHA-256(verifier), no padding

    static Pkce create();
    static QByteArray challengeFor(const QByteArray& verifier);
};

// A random text of URL-safe characters, from the system's secure generator.
QByteArray randomUrlSafe(int length);

}  // namespace tallyhive::auth

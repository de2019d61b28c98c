#pragma once

#include <QByteArray>
#include <QString>

namespace tallyhive::auth {

// What a token endpoint answered (RFC 6749 5.1 and 5.2).
struct TokenReply {
    enum class Kind {
        Tokens,       // an access token, perhaps with a new refresh token
        Refused,      // an OAuth error answer: error and description say why
        Unreachable,  // no HTTP answer at all, or none within the time limit
        Unexpected,   // an answer that is neither: a redirect, a web page, an oversized token
    };
    Kind kind = Kind::Unexpected;
    int httpStatus = 0;
    QString accessToken;
    QString refreshToken;     // empty when the endpoint kept the old one
    qint64 expiresInSeconds = 0;  // 0 when not given
    QString mailbox;          // the address that signed in, from the ID token; empty when none came
    QString error;
    QString description;

    // For the user: the provider's description, else its error code; for an
    // unexpected answer its HTTP status and what was wrong with it.
    QString detail() const;
};

// No token this long is taken.
inline constexpr qsizetype kMaxTokenLength = 64 * 1024;

// httpStatus is 0 when no HTTP answer came.
TokenReply parseTokenReply(int httpStatus, const QByteArray& body);

}  // namespace tallyhive::auth

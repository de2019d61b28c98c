#pragma once

#include <QByteArray>
#include <QString>

namespace tallyhive::auth {

// What a token endpoint answered (RFC 6749 5.1 and 5.2).
struct TokenReply {
    enum class Kind {
        Tokens,       // an access token, perhaps with a new refresh token
        Refused,      // an OAuth error answer: error and description say why
        Unreachable,  // no HTTP answer at all
        Malformed,    // an answer that is neither
    };
    Kind kind = Kind::Malformed;
    QString accessToken;
    QString refreshToken;     // empty when the endpoint kept the old one
    qint64 expiresInSeconds = 0;  // 0 when not given
    QString error;
    QString description;

    // For the user: the provider's description, else its error code, else the HTTP status.
    QString detail() const;
};

// httpStatus is 0 when no HTTP answer came.
TokenReply parseTokenReply(int httpStatus, const QByteArray& body);

}  // namespace tallyhive::auth

#include "auth/token_reply.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace tallyhive::auth {

QString TokenReply::detail() const
{
    if (!description.isEmpty())
        return description;
    return error;
}

TokenReply parseTokenReply(int httpStatus, const QByteArray& body)
{
    TokenReply reply;
    if (httpStatus == 0) {
        reply.kind = TokenReply::Kind::Unreachable;
        return reply;
    }
    const QJsonObject json = QJsonDocument::fromJson(body).object();
    if (json.contains(u"error")) {
        reply.kind = TokenReply::Kind::Refused;
        reply.error = json.value(u"error").toString();
        reply.description = json.value(u"error_description").toString();
        return reply;
    }
    reply.accessToken = json.value(u"access_token").toString();
    if (httpStatus / 100 != 2 || reply.accessToken.isEmpty()) {
        reply.kind = TokenReply::Kind::Malformed;
        reply.error = QStringLiteral("the token endpoint answered HTTP %1 without a token").arg(httpStatus);
        reply.accessToken.clear();
        return reply;
    }
    reply.kind = TokenReply::Kind::Tokens;
    reply.refreshToken = json.value(u"refresh_token").toString();
    // Some endpoints send the lifetime as a string.
    const QJsonValue expires = json.value(u"expires_in");
    reply.expiresInSeconds = expires.isString() ? expires.toString().toLongLong() : expires.toInteger();
    return reply;
}

}  // namespace tallyhive::auth

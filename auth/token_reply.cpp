#include "auth/token_reply.h"

#include "auth/id_token.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace tallyhive::auth {
namespace {

// A provider's description is shown in a box; a runaway one is cut.
constexpr qsizetype kMaxDescriptionLength = 1000;

TokenReply unexpected(int httpStatus, const QString& why = {})
{
    TokenReply reply;
    reply.kind = TokenReply::Kind::Unexpected;
    reply.httpStatus = httpStatus;
    reply.error = why;
    return reply;
}

}  // namespace

QString TokenReply::detail() const
{
    if (kind == Kind::Unexpected) {
        const QString status = QStringLiteral("HTTP %1").arg(httpStatus);
        return error.isEmpty() ? status : status + QStringLiteral(", ") + error;
    }
    return (description.isEmpty() ? error : description).left(kMaxDescriptionLength);
}

TokenReply parseTokenReply(int httpStatus, const QByteArray& body)
{
    if (httpStatus == 0) {
        TokenReply reply;
        reply.kind = TokenReply::Kind::Unreachable;
        return reply;
    }
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject())
        return unexpected(httpStatus);
    const QJsonObject json = document.object();
    if (json.value(u"error").isString()) {
        TokenReply reply;
        reply.kind = TokenReply::Kind::Refused;
        reply.httpStatus = httpStatus;
        reply.error = json.value(u"error").toString();
        reply.description = json.value(u"error_description").toString();
        return reply;
    }
    TokenReply reply;
    reply.httpStatus = httpStatus;
    reply.accessToken = json.value(u"access_token").toString();
    reply.refreshToken = json.value(u"refresh_token").toString();
    if (httpStatus / 100 != 2 || reply.accessToken.isEmpty())
        return unexpected(httpStatus, QStringLiteral("no token"));
    if (reply.accessToken.size() > kMaxTokenLength || reply.refreshToken.size() > kMaxTokenLength)
        return unexpected(httpStatus, QStringLiteral("a token larger than 64 KB"));
    reply.kind = TokenReply::Kind::Tokens;
    // Some endpoints send the lifetime as a string.
    const QJsonValue expires = json.value(u"expires_in");
    reply.expiresInSeconds = expires.isString() ? expires.toString().toLongLong() : expires.toInteger();
    reply.mailbox = idTokenAddress(json.value(u"id_token").toString());
    return reply;
}

}  // namespace tallyhive::auth

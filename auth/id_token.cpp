#include "auth/id_token.h"

#include "auth/token_reply.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace tallyhive::auth {
namespace {

// The longest address mail allows (RFC 5321 4.5.3.1).
constexpr qsizetype kMaxAddressLength = 254;

}  // namespace

bool isUsableAddress(const QString& address)
{
    if (address.size() > kMaxAddressLength || address.count(u'@') != 1 || address.startsWith(u'@') || address.endsWith(u'@'))
        return false;
    for (const QChar c : address) {
        if (c.unicode() <= 0x20 || c.unicode() == 0x7f || c.isSpace() || c.category() == QChar::Other_Control
            || c.category() == QChar::Other_Format)
            return false;
    }
    return true;
}

QString idTokenAddress(const QString& idToken)
{
    if (idToken.size() > kMaxTokenLength)
        return {};
    const QStringList parts = idToken.split(u'.');
    if (parts.size() != 3)
        return {};
    const auto payload = QByteArray::fromBase64Encoding(parts[1].toLatin1(),
                                                        QByteArray::Base64UrlEncoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!payload)
        return {};
    const QJsonObject claims = QJsonDocument::fromJson(*payload).object();
    for (const char16_t* claim : {u"email", u"preferred_username"}) {
        const QString address = claims.value(QStringView(claim)).toString().trimmed();
        if (isUsableAddress(address))
            return address;
    }
    return {};
}

}  // namespace tallyhive::auth

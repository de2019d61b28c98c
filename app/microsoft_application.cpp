#include "app/microsoft_application.h"

#include <QRegularExpression>

namespace tallyhive {

bool isApplicationId(const QString& text)
{
    static const QRegularExpression guid(QStringLiteral("^[0-9A-Fa-f]{8}(-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}$"));
    return guid.match(text).hasMatch();
}

bool isTenantName(const QString& text)
{
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9-]+(\\.[A-Za-z0-9-]+)*$"));
    return text.size() <= 253 && name.match(text).hasMatch();
}

QString tenantForAddress(const QString& address)
{
    if (!address.contains(u'@'))
        return AllAccountsTenant;
    const QString domain = address.section(u'@', -1).trimmed().toLower();
    const bool personal = domain == u"msn.com" || domain.startsWith(u"outlook.") || domain.startsWith(u"hotmail.")
                          || domain.startsWith(u"live.");
    return personal ? PersonalAccountsTenant : AllAccountsTenant;
}

}  // namespace tallyhive

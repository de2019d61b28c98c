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

platform::MicrosoftApplication applicationInForce(const ApplicationPlaces& clientId, const ApplicationPlaces& tenant)
{
    using platform::SettingSource;
    platform::MicrosoftApplication inForce;
    if (!clientId.environment.trimmed().isEmpty())
        inForce = {clientId.environment.trimmed(), {}, SettingSource::Environment};
    else if (isApplicationId(clientId.saved.trimmed()))
        inForce = {clientId.saved.trimmed(), {}, SettingSource::Saved};
    else
        inForce = {clientId.builtIn, {}, SettingSource::BuiltIn};
    const bool saved = isTenantName(tenant.saved);
    inForce.tenant = saved ? tenant.saved : isTenantName(tenant.builtIn) ? tenant.builtIn : PersonalAccountsTenant;
    inForce.tenantSource = !tenant.environment.trimmed().isEmpty() ? SettingSource::Environment
                           : saved                                 ? SettingSource::Saved
                                                                   : SettingSource::BuiltIn;
    return inForce;
}

platform::MicrosoftApplication applicationInForce(const MicrosoftDeployment& deployment, const QString& savedClientId,
                                                  const QString& savedTenant)
{
    return applicationInForce({deployment.environmentClientId, savedClientId, deployment.builtInClientId},
                              {deployment.environmentAuthority.value_or(QString()), savedTenant, deployment.builtInTenant});
}

QString oauthAuthority(const MicrosoftDeployment& deployment, const QString& tenant)
{
    QString authority = deployment.environmentAuthority.value_or(deployment.host + u'/' + tenant + QStringLiteral("/oauth2/v2.0")).trimmed();
    while (authority.endsWith(u'/'))
        authority.chop(1);
    return authority;
}

SignInRefusal refusalOf(const QString& detail)
{
    static const QRegularExpression code(QStringLiteral("\\bAADSTS(\\d+)"));
    const QRegularExpressionMatch found = code.match(detail);
    if (!found.hasMatch())
        return SignInRefusal::Unknown;
    switch (found.captured(1).toLongLong()) {
    case 700016:   // no such application in the directory asked
    case 9002331:  // a personal-only application on another authority
    case 9002332:  // a directory-only application on the personal authority
    case 50011:    // the redirect address is not registered
    case 50194:    // a single-organisation application on a shared authority
        return SignInRefusal::Registration;
    case 90094:  // an administrator must consent
    case 90095:
    case 65001:  // consent is missing
    case 53003:  // Conditional Access blocked the sign-in
    case 50105:  // the user is not assigned to the application
        return SignInRefusal::Administrator;
    case 65004:
        return SignInRefusal::Declined;
    default:
        return SignInRefusal::Unknown;
    }
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

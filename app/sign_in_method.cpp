#include "app/sign_in_method.h"

#include <QStringList>

namespace tallyhive {

bool isMicrosoftHost(const QString& host)
{
    static const QStringList domains{QStringLiteral("office365.com"), QStringLiteral("outlook.com"),
                                     QStringLiteral("office.com"), QStringLiteral("hotmail.com"), QStringLiteral("live.com")};
    QString name = host.trimmed().toLower();
    if (name.endsWith(u'.'))
        name.chop(1);
    for (const QString& domain : domains) {
        if (name == domain || name.endsWith(u'.' + domain))
            return true;
    }
    return false;
}

SignInMethod chooseSignInMethod(const QString& mode, const QString& clientId, const QString& imapHost)
{
    if (mode == u"password")
        return SignInMethod::Password;
    if (mode != u"microsoft" && !isMicrosoftHost(imapHost))
        return SignInMethod::Password;
    return clientId.isEmpty() ? SignInMethod::MicrosoftWithoutClientId : SignInMethod::Microsoft;
}

}  // namespace tallyhive

#pragma once

#include <QString>

// The application registered with Microsoft that the browser sign-in uses,
// and how its values are checked and guessed.
namespace tallyhive {

// The authority's tenant for each account type a registration supports.
inline const QString PersonalAccountsTenant = QStringLiteral("consumers");
inline const QString WorkAccountsTenant = QStringLiteral("organizations");
inline const QString AllAccountsTenant = QStringLiteral("common");

// Where an application is registered.
inline const QString MicrosoftRegistrationPage =
    QStringLiteral("https://entra.microsoft.com/#view/Microsoft_AAD_RegisteredApps/ApplicationsListBlade");

// An Application (client) ID as Microsoft shows it: hexadecimal digits in
// groups of 8-4-4-4-12.
bool isApplicationId(const QString& text);

// A tenant that can stand in an authority's path: one of the three above, a
// directory's id or its domain name. Nothing that could change the path.
bool isTenantName(const QString& text);

// The account type a Live ID most likely has: personal accounts for
// Microsoft's own mail domains (outlook.*, hotmail.*, live.*, msn.com), both
// kinds for any other.
QString tenantForAddress(const QString& address);

}  // namespace tallyhive

#pragma once

#include "app/deployment.h"
#include "interfaces/message_boxes.h"

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

// A value of the application from each place it may be set in; empty where it is not.
struct ApplicationPlaces {
    QString environment;
    QString saved;
    QString builtIn;
};

// The application in force: a value set in the environment overrides the
// one saved by the dialog, which overrides the one built in. An id or a
// tenant saved that could not be one is not used. The tenant set in the
// environment is the whole authority: its value is then the one that would
// be in force without it, and its source says it is not.
platform::MicrosoftApplication applicationInForce(const ApplicationPlaces& clientId, const ApplicationPlaces& tenant);
// The same for the values the dialog saved, under the deployment's.
platform::MicrosoftApplication applicationInForce(const MicrosoftDeployment& deployment, const QString& savedClientId,
                                                  const QString& savedTenant);
// The base of /authorize and /token: the authority set in the environment,
// else the provider's for the tenant.
QString oauthAuthority(const MicrosoftDeployment& deployment, const QString& tenant);

// What a refusal that names an AADSTS code asks of the user.
enum class SignInRefusal {
    Registration,   // the application id, its account type or its redirect address is wrong
    Administrator,  // the organisation's administrator must consent, assign or allow
    Declined,       // the user declined the permissions asked for
    Unknown,        // no code, or one not told apart here
};
// Of the provider's words about a refusal ("AADSTS65004: User declined ...").
SignInRefusal refusalOf(const QString& detail);

// The account type a Live ID most likely has: personal accounts for
// Microsoft's own mail domains (outlook.*, hotmail.*, live.*, msn.com), both
// kinds for any other.
QString tenantForAddress(const QString& address);

}  // namespace tallyhive

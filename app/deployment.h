#pragma once

#include <QString>
#include <array>
#include <optional>

namespace tallyhive {

// Where the Microsoft application and its authority come from, as the
// environment and the build set them; what the dialog saved is the window's.
struct MicrosoftDeployment {
    QString environmentClientId;
    QString builtInClientId;
    // The whole authority when set in the environment, even empty; it also
    // marks the tenant as the environment's.
    std::optional<QString> environmentAuthority;
    QString builtInTenant;
    QString host;  // the provider's base address, without a closing '/'
};

// What a deployment sets for the window, read once at start-up. A value
// made with none of its fields set visits nothing outside.
struct Deployment {
    std::array<QString, 3> mailDomains;  // offered after "@"
    QString downloadPage;  // named by Help
    QString homePage;      // visited once at start-up; empty: never
    QString pingHost;      // the connectivity check's; empty: none
    QString signInMode;    // "password", "microsoft" or "auto"
    MicrosoftDeployment microsoft;
};

}  // namespace tallyhive

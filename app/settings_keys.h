#pragma once

#include <QString>

// Where the program keeps its remembered values, and under which keys.
namespace tallyhive::settings_keys {

inline const QString Application = QStringLiteral("Corvanta");
inline const QString Section = QStringLiteral("Tallyhive");

inline const QString StayConnected = QStringLiteral("StayConnected");
inline const QString AutoConnect = QStringLiteral("AutoConnect");
inline const QString User = QStringLiteral("User");
inline const QString Password = QStringLiteral("Password");
inline const QString Combo1 = QStringLiteral("Combo1");
inline const QString Option3 = QStringLiteral("Option3");
inline const QString Option5 = QStringLiteral("Option5");
inline const QString Option6 = QStringLiteral("Option6");
inline const QString Option7 = QStringLiteral("Option7");
inline const QString Option9 = QStringLiteral("Option9");
inline const QString Option10 = QStringLiteral("Option10");
inline const QString Combo2 = QStringLiteral("Combo2");
// The list's columns chosen beyond its own six: their titles, joined by ",".
inline const QString ListColumns = QStringLiteral("ListColumns");

// The application Microsoft sign-in uses, as the "Microsoft sign-in" dialog
// saved it: public configuration, not secrets.
inline const QString OAuthClientId = QStringLiteral("OAuthClientId");
inline const QString OAuthAuthority = QStringLiteral("OAuthAuthority");  // the tenant: consumers, organizations or common

}  // namespace tallyhive::settings_keys

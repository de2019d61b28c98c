#pragma once

#include <QString>
#include <QUrl>

namespace tallyhive::auth {

// Where and as what the program signs in. The client id is public
// configuration of a registered application, not a secret.
struct OAuthSettings {
    QString clientId;
    QUrl authorizeUrl;
    QUrl tokenUrl;
    QString scope;
    QString browserCommand;     // gets the address as its one argument; empty: the desktop's browser
    int browserWaitMs = 5 * 60 * 1000;
    int requestTimeoutMs = 30000;
    QString storeService = QStringLiteral("Tallyhive");  // the secret store's name for our entries
};

}  // namespace tallyhive::auth

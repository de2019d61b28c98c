#pragma once

#include <QString>
#include <QStringList>

// Values a deployment may change, each with a built-in default and a
// TALLYHIVE_* environment override (read at the moment it is needed).
namespace tallyhive::config {

QString imapHost();            // TALLYHIVE_IMAP_HOST
int imapPort();                // TALLYHIVE_IMAP_PORT
QStringList mailDomains();     // TALLYHIVE_MAIL_DOMAINS: three, comma-separated
QString supportAddress();      // TALLYHIVE_SUPPORT_ADDRESS
QString downloadPage();        // TALLYHIVE_DOWNLOAD_PAGE
QString homePage();            // TALLYHIVE_HOME_PAGE: empty means never visit
QString pingHost();            // TALLYHIVE_PING_HOST: empty means no connectivity check
QString caFile();              // TALLYHIVE_CA_FILE: an extra trusted CA (PEM)
int readTimeoutMs();           // TALLYHIVE_READ_TIMEOUT_MS
int reconnectDelayMs();        // TALLYHIVE_RECONNECT_DELAY_MS: the first wait; each later one doubles
int fetchWindow();             // TALLYHIVE_FETCH_WINDOW: FETCH requests kept in flight; 1 asks one at a time
QString exportDir();           // TALLYHIVE_EXPORT_DIR
bool openWorkbook();           // TALLYHIVE_OPEN_WORKBOOK: 0 leaves the workbook closed
QString signInMode();          // TALLYHIVE_SIGN_IN: password, microsoft or auto
QString oauthClientId();       // TALLYHIVE_OAUTH_CLIENT_ID, else the one built in: the registered application; empty: none
QString oauthAuthority();      // TALLYHIVE_OAUTH_AUTHORITY: the base of /authorize and /token
QString browserCommand();      // TALLYHIVE_BROWSER: gets the sign-in address; empty: the desktop's browser

}  // namespace tallyhive::config

#pragma once

#include "app/deployment.h"

#include <QString>
#include <QStringList>

#include <optional>

// Values a deployment may change, each with a built-in default and a
// TALLYHIVE_* environment override. The components below the shell read
// none of them: the place that wires the program together reads them once
// and hands each component its options. A number that is nothing here
// leaves the component's own default.
namespace tallyhive::config {

QString imapHost();            // TALLYHIVE_IMAP_HOST
int imapPort();                // TALLYHIVE_IMAP_PORT
QStringList mailDomains();     // TALLYHIVE_MAIL_DOMAINS: three, comma-separated
std::optional<QString> supportAddress();  // TALLYHIVE_SUPPORT_ADDRESS: none when unset
QString downloadPage();        // TALLYHIVE_DOWNLOAD_PAGE
QString homePage();            // TALLYHIVE_HOME_PAGE: empty means never visit
QString pingHost();            // TALLYHIVE_PING_HOST: empty means no connectivity check
QString caFile();              // TALLYHIVE_CA_FILE: an extra trusted CA (PEM)
std::optional<int> readTimeoutMs();     // TALLYHIVE_READ_TIMEOUT_MS
std::optional<int> reconnectDelayMs();  // TALLYHIVE_RECONNECT_DELAY_MS: the first wait; each later one doubles
std::optional<int> fetchWindow();       // TALLYHIVE_FETCH_WINDOW: FETCH commands kept in flight, at most 256; 1: one message at a time
QString exportDir();           // TALLYHIVE_EXPORT_DIR
// Where fetched messages are kept between runs: "tallyhive" in the user's
// cache folder (XDG_CACHE_HOME, else ~/.cache).
QString storeDir();
std::optional<int> storeCapMegabytes();  // TALLYHIVE_STORE_CAP_MB: the most the kept messages may take
bool openWorkbook();           // TALLYHIVE_OPEN_WORKBOOK: 0 leaves the workbook closed
QString signInMode();          // TALLYHIVE_SIGN_IN: password, microsoft or auto
// Microsoft sign-in: TALLYHIVE_OAUTH_CLIENT_ID, TALLYHIVE_OAUTH_AUTHORITY and
// TALLYHIVE_OAUTH_HOST, and the application built in
// (TALLYHIVE_DEFAULT_OAUTH_CLIENT_ID and _AUTHORITY).
MicrosoftDeployment microsoft();
QString browserCommand();      // TALLYHIVE_BROWSER: gets the sign-in address; empty: the desktop's browser
// What the window is given of the above.
Deployment deployment();

}  // namespace tallyhive::config

#include "program/config.h"

#include "app/texts.h"

#include <QDir>
#include <QStandardPaths>

namespace tallyhive::config {
namespace {

// An unset variable gives the default; a set one, even empty, wins.
QString fromEnvironment(const char* name, const QString& fallback)
{
    if (!qEnvironmentVariableIsSet(name))
        return fallback;
    return qEnvironmentVariable(name);
}

std::optional<int> numberFromEnvironment(const char* name)
{
    bool ok = false;
    const int value = qEnvironmentVariable(name).trimmed().toInt(&ok);
    return ok && value > 0 ? std::optional<int>(value) : std::nullopt;
}

}  // namespace

QString imapHost() { return fromEnvironment("TALLYHIVE_IMAP_HOST", QStringLiteral("outlook.office365.com")); }

int imapPort() { return numberFromEnvironment("TALLYHIVE_IMAP_PORT").value_or(993); }

QStringList mailDomains()
{
    const QStringList defaults{QStringLiteral("hotmail.com"), QStringLiteral("live.com"), QStringLiteral("outlook.com")};
    QStringList domains = fromEnvironment("TALLYHIVE_MAIL_DOMAINS", defaults.join(u',')).split(u',');
    for (QString& domain : domains)
        domain = domain.trimmed();
    while (domains.size() < 3)
        domains.append(defaults.at(domains.size()));
    return domains.mid(0, 3);
}

std::optional<QString> supportAddress()
{
    if (!qEnvironmentVariableIsSet("TALLYHIVE_SUPPORT_ADDRESS"))
        return std::nullopt;
    return qEnvironmentVariable("TALLYHIVE_SUPPORT_ADDRESS");
}

QString downloadPage() { return fromEnvironment("TALLYHIVE_DOWNLOAD_PAGE", QStringLiteral("https://www.corvanta.com/tallyhive")); }

QString homePage() { return fromEnvironment("TALLYHIVE_HOME_PAGE", QStringLiteral("https://www.corvanta.com")); }

QString pingHost() { return fromEnvironment("TALLYHIVE_PING_HOST", QStringLiteral("www.microsoft.com")); }

QString caFile() { return fromEnvironment("TALLYHIVE_CA_FILE", QString()); }

std::optional<int> readTimeoutMs() { return numberFromEnvironment("TALLYHIVE_READ_TIMEOUT_MS"); }

std::optional<int> reconnectDelayMs() { return numberFromEnvironment("TALLYHIVE_RECONNECT_DELAY_MS"); }

std::optional<int> fetchWindow()
{
    const auto window = numberFromEnvironment("TALLYHIVE_FETCH_WINDOW");
    return window ? std::optional<int>(qMin(*window, 256)) : std::nullopt;
}

QString exportDir()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return fromEnvironment("TALLYHIVE_EXPORT_DIR", QDir(documents).filePath(texts::AppTitle));
}

QString storeDir()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)).filePath(texts::AppTitle.toLower());
}

std::optional<int> storeCapMegabytes() { return numberFromEnvironment("TALLYHIVE_STORE_CAP_MB"); }

bool openWorkbook() { return fromEnvironment("TALLYHIVE_OPEN_WORKBOOK", QStringLiteral("1")).trimmed() != u"0"; }

QString signInMode() { return fromEnvironment("TALLYHIVE_SIGN_IN", QStringLiteral("auto")).trimmed().toLower(); }

MicrosoftDeployment microsoft()
{
    QString host = fromEnvironment("TALLYHIVE_OAUTH_HOST", QStringLiteral("https://login.microsoftonline.com")).trimmed();
    while (host.endsWith(u'/'))
        host.chop(1);
    std::optional<QString> authority;
    if (qEnvironmentVariableIsSet("TALLYHIVE_OAUTH_AUTHORITY"))
        authority = qEnvironmentVariable("TALLYHIVE_OAUTH_AUTHORITY");
    return {qEnvironmentVariable("TALLYHIVE_OAUTH_CLIENT_ID"), QStringLiteral(TALLYHIVE_DEFAULT_OAUTH_CLIENT_ID), authority,
            QStringLiteral(TALLYHIVE_DEFAULT_OAUTH_AUTHORITY), host};
}

QString browserCommand() { return fromEnvironment("TALLYHIVE_BROWSER", QString()).trimmed(); }

Deployment deployment()
{
    const QStringList domains = mailDomains();
    return {{domains.at(0), domains.at(1), domains.at(2)}, downloadPage(), homePage(), pingHost(), signInMode(), microsoft()};
}

}  // namespace tallyhive::config

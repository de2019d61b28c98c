#include "auth/browser_launch.h"

#include <QProcess>
#include <QStringList>

namespace tallyhive::auth {

bool openInBrowser(const QString& command, const QUrl& url)
{
    // xdg-open hands the address to whatever browser the desktop has chosen.
    QStringList words = command.isEmpty() ? QStringList{QStringLiteral("xdg-open")} : QProcess::splitCommand(command);
    if (words.isEmpty())
        return false;
    const QString program = words.takeFirst();
    words << url.toString(QUrl::FullyEncoded);
    return QProcess::startDetached(program, words);
}

}  // namespace tallyhive::auth

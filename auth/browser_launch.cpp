#include "auth/browser_launch.h"

#include <QProcess>
#include <QStringList>
#include <QTimer>

namespace tallyhive::auth {

void openInBrowser(const QString& command, const QUrl& url, QObject* owner, QObject* context, std::function<void()> failed)
{
    // xdg-open hands the address to whatever browser the desktop has chosen.
    QStringList words = command.isEmpty() ? QStringList{QStringLiteral("xdg-open")} : QProcess::splitCommand(command);
    if (words.isEmpty()) {
        QTimer::singleShot(0, context, failed);
        return;
    }
    // Gone once the command has ended, or with its owner.
    auto* process = new QProcess(owner);
    process->setProgram(words.takeFirst());
    process->setArguments(words << url.toString(QUrl::FullyEncoded));
    process->setStandardInputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    QObject::connect(process, &QProcess::errorOccurred, context, [failed](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            failed();
    });
    QObject::connect(process, &QProcess::finished, context, [failed](int exitCode, QProcess::ExitStatus status) {
        if (exitCode != 0 || status != QProcess::NormalExit)
            failed();
    });
    QObject::connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            process->deleteLater();
    });
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    process->start();
}

}  // namespace tallyhive::auth

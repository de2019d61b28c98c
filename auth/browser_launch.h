#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

namespace tallyhive::auth {

// Opens url with command (split like a shell word list, the address added as
// the last argument), or with the desktop's default browser when command is
// empty. The process belongs to owner; the desktop's launcher hands the
// address over and exits. failed runs, while context lives, when nothing
// could be started or the command exited reporting failure.
void openInBrowser(const QString& command, const QUrl& url, QObject* owner, QObject* context, std::function<void()> failed);

}  // namespace tallyhive::auth

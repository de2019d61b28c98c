#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

namespace tallyhive::auth {

// Opens url with command (split like a shell word list, the address added as
// the last argument), or with the desktop's default browser when command is
// empty. failed runs, while context lives, when nothing could be started or
// the command exited reporting failure. A browser that keeps running is
// left alone, also when the program ends.
void openInBrowser(const QString& command, const QUrl& url, QObject* context, std::function<void()> failed);

}  // namespace tallyhive::auth

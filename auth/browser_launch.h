#pragma once

#include <QString>
#include <QUrl>

namespace tallyhive::auth {

// Opens url with command (split like a shell word list, the address added as
// the last argument), or with the desktop's default browser when command is
// empty. False when nothing could be started.
bool openInBrowser(const QString& command, const QUrl& url);

}  // namespace tallyhive::auth

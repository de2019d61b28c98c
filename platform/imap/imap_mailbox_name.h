#pragma once

#include <QByteArray>
#include <QString>

namespace tallyhive::platform {

// Mailbox names travel in IMAP's modified UTF-7 ("Entw&APw-rfe" for "Entwürfe").
QByteArray encodeMailboxName(const QString& name);
// Text that is not valid modified UTF-7 is returned as it came (read as UTF-8).
QString decodeMailboxName(const QByteArray& wireName);

}  // namespace tallyhive::platform

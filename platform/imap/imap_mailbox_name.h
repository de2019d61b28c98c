#pragma once

#include <QByteArray>
#include <QString>

namespace tallyhive::platform {

// Mailbox names travel in IMAP's modified UTF-7 ("Entw&APw-rfe" for "Entwürfe").
QByteArray encodeMailboxName(const QString& name);
// Text that is not valid modified UTF-7 is returned as it came (read as UTF-8).
QString decodeMailboxName(const QByteArray& wireName);
// A listed name as the user is shown it: decoded when the bytes are the very
// modified UTF-7 of some text, else the bytes read as UTF-8. Whatever would
// show as a box or not at all is spelled out: a byte that is not UTF-8 as
// \xNN, an invisible or unassigned character as \uNNNN (\UNNNNNNNN).
QString shownMailboxName(const QByteArray& listed);

}  // namespace tallyhive::platform

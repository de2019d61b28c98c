#pragma once

#include <QByteArray>
#include <QDateTime>

namespace tallyhive::platform {

// INTERNALDATE as IMAP writes it: "17-Jul-1996 02:44:25 -0700" (the day may be
// blank-padded). An invalid QDateTime when the text is not of that form.
QDateTime parseInternalDate(const QByteArray& text);
QByteArray formatInternalDate(const QDateTime& moment);

}  // namespace tallyhive::platform

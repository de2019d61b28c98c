#pragma once

#include <gmime/gmime.h>

#include <QByteArray>
#include <QDateTime>

namespace tallyhive::platform::mime {

// The message's Date header (rawDate, as rawHeaderValue gives it) as a date;
// fallbackDate when it is missing or unreadable.
QDateTime messageDate(const QByteArray& rawDate, GMimeMessage* message, const QDateTime& internalDate);

// The date of a message without a readable Date: the server's arrival date in
// local time, or the current time when that is invalid too.
QDateTime fallbackDate(const QDateTime& internalDate);

}  // namespace tallyhive::platform::mime

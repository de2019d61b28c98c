#include "platform/imap/imap_internal_date.h"

#include <QTimeZone>

#include <array>

namespace tallyhive::platform {
namespace {

constexpr std::array<const char*, 12> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool readNumber(QByteArrayView text, int& value)
{
    if (text.isEmpty())
        return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

}  // namespace

QDateTime parseInternalDate(const QByteArray& text)
{
    // dd-Mon-yyyy hh:mm:ss +zzzz
    const QByteArray trimmed = text.trimmed();
    const QList<QByteArray> parts = trimmed.split(' ');
    if (parts.size() != 3)
        return {};
    const QList<QByteArray> dateParts = parts[0].split('-');
    const QList<QByteArray> timeParts = parts[1].split(':');
    const QByteArray& zone = parts[2];
    if (dateParts.size() != 3 || timeParts.size() != 3 || zone.size() != 5 || (zone[0] != '+' && zone[0] != '-'))
        return {};

    int day = 0, year = 0, hour = 0, minute = 0, second = 0, zoneHours = 0, zoneMinutes = 0;
    int month = 0;
    for (int i = 0; i < 12; ++i) {
        if (dateParts[1].compare(kMonths[i], Qt::CaseInsensitive) == 0)
            month = i + 1;
    }
    if (month == 0 || !readNumber(dateParts[0], day) || !readNumber(dateParts[2], year) || !readNumber(timeParts[0], hour)
        || !readNumber(timeParts[1], minute) || !readNumber(timeParts[2], second)
        || !readNumber(QByteArrayView(zone).sliced(1, 2), zoneHours) || !readNumber(QByteArrayView(zone).sliced(3, 2), zoneMinutes))
        return {};

    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid() || zoneMinutes > 59)
        return {};
    const int offset = (zoneHours * 3600 + zoneMinutes * 60) * (zone[0] == '-' ? -1 : 1);
    return QDateTime(date, time, QTimeZone(offset));
}

QByteArray formatInternalDate(const QDateTime& moment)
{
    const int offset = moment.offsetFromUtc();
    const int absolute = offset < 0 ? -offset : offset;
    const QDateTime local = moment.toOffsetFromUtc(offset);
    return QByteArray::number(local.date().day()).rightJustified(2, '0') + '-' + kMonths[local.date().month() - 1] + '-'
        + QByteArray::number(local.date().year()) + ' ' + local.time().toString(QStringLiteral("hh:mm:ss")).toLatin1() + ' '
        + (offset < 0 ? '-' : '+') + QByteArray::number(absolute / 3600).rightJustified(2, '0')
        + QByteArray::number(absolute % 3600 / 60).rightJustified(2, '0');
}

}  // namespace tallyhive::platform

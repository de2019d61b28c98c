#include "app/general_date.h"

#include "app/numbers.h"

#include <QLocale>
#include <QRegularExpression>

namespace tallyhive::general_date {
namespace {

// A two-digit year would make the text ambiguous once it is read back or
// sorted, so the short date always carries four.
QString shortDateFormat()
{
    static const QRegularExpression twoDigitYear(QStringLiteral("(?<!y)yy(?!y)"));
    return QLocale().dateFormat(QLocale::ShortFormat).replace(twoDigitYear, QStringLiteral("yyyy"));
}

// The zone name is not part of the general format, and Qt cannot read it back.
QString longTimeFormat()
{
    static const QRegularExpression zone(QStringLiteral("\\s*t+\\s*"));
    return QLocale().timeFormat(QLocale::LongFormat).remove(zone).trimmed();
}

}  // namespace

QString datePattern() { return shortDateFormat(); }

QString dateTimePattern() { return shortDateFormat() + u' ' + longTimeFormat(); }

QString format(const QDateTime& local)
{
    const QLocale locale;
    const QString date = locale.toString(local.date(), shortDateFormat());
    const QTime time = local.time();
    if (time.hour() == 0 && time.minute() == 0 && time.second() == 0)
        return date;
    return date + u' ' + locale.toString(time, longTimeFormat());
}

std::optional<QDateTime> parse(const QString& text)
{
    const QLocale locale;
    const QString trimmed = text.trimmed();
    QDateTime value = locale.toDateTime(trimmed, shortDateFormat() + u' ' + longTimeFormat());
    if (!value.isValid()) {
        const QDate date = locale.toDate(trimmed, shortDateFormat());
        if (date.isValid())
            value = date.startOfDay();
    }
    if (!value.isValid())
        return std::nullopt;
    return value;
}

double serial(const QDateTime& local)
{
    static const QDate epoch(1899, 12, 30);
    const QTime time = local.time();
    return static_cast<double>(epoch.daysTo(local.date())) + time.msecsSinceStartOfDay() / 86400000.0;
}

std::optional<qint64> dayNumber(const QString& text)
{
    const auto value = parse(text);
    if (!value)
        return std::nullopt;
    return roundHalfEven(serial(*value));
}

}  // namespace tallyhive::general_date

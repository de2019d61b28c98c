#include "app/general_date.h"

#include "app/numbers.h"

#include <QLocale>
#include <QRegularExpression>

namespace tallyhive::general_date {
namespace {

struct Patterns {
    QLocale locale;
    QString date;
    QString time;
    bool secondsShown = false;
    bool readsBackExactly = false;  // the text names year, month, day, hour and minute without doubt
};

// Formatting runs for every fetched message; the patterns are worked out once
// per locale rather than on every call.
const Patterns& patterns()
{
    static thread_local Patterns cached{QLocale::c(), QString(), QString()};
    const QLocale locale;
    if (cached.date.isEmpty() || cached.locale != locale) {
        // A two-digit year would make the text ambiguous once it is read back
        // or sorted, so the short date always carries four.
        static const QRegularExpression twoDigitYear(QStringLiteral("(?<!y)yy(?!y)"));
        // The zone name is not part of the general format, and Qt cannot read it back.
        static const QRegularExpression zone(QStringLiteral("\\s*t+\\s*"));
        cached.locale = locale;
        cached.date = locale.dateFormat(QLocale::ShortFormat).replace(twoDigitYear, QStringLiteral("yyyy"));
        cached.time = locale.timeFormat(QLocale::LongFormat).remove(zone).trimmed();
        cached.secondsShown = cached.time.contains(u's');
        const bool hourKnown = cached.time.contains(u'H') || (cached.time.contains(u'h') && cached.time.contains(u'a', Qt::CaseInsensitive));
        cached.readsBackExactly = cached.date.contains(QStringLiteral("yyyy")) && cached.date.contains(u'M') && cached.date.contains(u'd')
                                  && hourKnown && cached.time.contains(u'm');
    }
    return cached;
}

QString shortDateFormat() { return patterns().date; }

QString longTimeFormat() { return patterns().time; }

bool isMidnight(const QTime& time) { return time.hour() == 0 && time.minute() == 0 && time.second() == 0; }

}  // namespace

QString datePattern() { return shortDateFormat(); }

QString dateTimePattern() { return shortDateFormat() + u' ' + longTimeFormat(); }

QString format(const QDateTime& local)
{
    const Patterns& p = patterns();
    const QString date = p.locale.toString(local.date(), p.date);
    const QTime time = local.time();
    return isMidnight(time) ? date : date + u' ' + p.locale.toString(time, p.time);
}

std::optional<QDateTime> shownValue(const QDateTime& local)
{
    const Patterns& p = patterns();
    // Reading the text back is slow; when the text names every part of the
    // date and time without doubt, what it keeps is known beforehand.
    if (!p.readsBackExactly || !local.isValid())
        return parse(format(local));
    const QTime time = local.time();
    if (isMidnight(time))
        return local.date().startOfDay();
    return QDateTime(local.date(), QTime(time.hour(), time.minute(), p.secondsShown ? time.second() : 0));
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

std::optional<qint64> dayNumber(const QDateTime& local)
{
    const auto value = shownValue(local);
    if (!value)
        return std::nullopt;
    return roundHalfEven(serial(*value));
}

}  // namespace tallyhive::general_date

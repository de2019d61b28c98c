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

// Every fetched message's date is formatted and then, for the list, read
// back from that very text; the text last made remembers what it was made
// from, so the slow reading is skipped when it would only give that back.
struct LastFormatted {
    QString text;
    QDateTime value;
};

LastFormatted& lastFormatted()
{
    static thread_local LastFormatted last;
    return last;
}

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
        lastFormatted() = {};
    }
    return cached;
}

QString shortDateFormat() { return patterns().date; }

QString longTimeFormat() { return patterns().time; }

}  // namespace

QString datePattern() { return shortDateFormat(); }

QString dateTimePattern() { return shortDateFormat() + u' ' + longTimeFormat(); }

QString format(const QDateTime& local)
{
    const Patterns& p = patterns();
    const QString date = p.locale.toString(local.date(), p.date);
    const QTime time = local.time();
    // What the text keeps of the time; reading it back gives this.
    const QTime shown(time.hour(), time.minute(), p.secondsShown ? time.second() : 0);
    const bool midnight = time.hour() == 0 && time.minute() == 0 && time.second() == 0;
    const QString text = midnight ? date : date + u' ' + p.locale.toString(time, p.time);
    if (p.readsBackExactly)
        lastFormatted() = {text, midnight ? local.date().startOfDay() : QDateTime(local.date(), shown)};
    return text;
}

std::optional<QDateTime> parse(const QString& text)
{
    if (const LastFormatted& last = lastFormatted(); !last.text.isNull() && text == last.text)
        return last.value;
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

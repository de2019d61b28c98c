#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// Dates travel as text in the general date format of the user's locale: the
// short date, a blank and the long time; the time is left out at midnight.
namespace tallyhive::general_date {

QString format(const QDateTime& local);
// The locale patterns behind format(): the date alone, and the date with the time.
QString datePattern();
QString dateTimePattern();
std::optional<QDateTime> parse(const QString& text);
// The date and time the general date text of `local` shows, as reading that
// text back gives it (the seconds go when the locale's time has none);
// nothing when the text cannot be read back.
std::optional<QDateTime> shownValue(const QDateTime& local);

// Days since 30 December 1899, the time of day as a fraction.
double serial(const QDateTime& local);
// The serial of what the general date text of `local` shows, rounded to a
// whole day (halves to even); nothing when that text cannot be read back.
std::optional<qint64> dayNumber(const QDateTime& local);

}  // namespace tallyhive::general_date

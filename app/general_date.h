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

// Days since 30 December 1899, the time of day as a fraction.
double serial(const QDateTime& local);
// The serial of a general date text rounded to a whole day (halves to even);
// nothing when the text is not a date.
std::optional<qint64> dayNumber(const QString& text);

}  // namespace tallyhive::general_date

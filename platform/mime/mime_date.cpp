#include "platform/mime/mime_date.h"

#include <QRegularExpression>

namespace tallyhive::platform::mime {
namespace {

// GMime reads a time written with dots ("10.30.00", from some mail programs)
// as midnight; with colons it reads it right. Empty when there is none.
QByteArray withColonsInTime(const QByteArray& date)
{
    static const QRegularExpression dottedTime(QStringLiteral(R"(\b(\d{1,2})\.(\d{2})(?:\.(\d{2}))?\b)"));
    QString text = QString::fromLatin1(date);
    const QRegularExpressionMatch match = dottedTime.match(text);
    if (!match.hasMatch())
        return {};
    QString time = match.captured(1) + u':' + match.captured(2);
    if (match.hasCaptured(3))
        time += u':' + match.captured(3);
    return text.replace(match.capturedStart(), match.capturedLength(), time).toLatin1();
}

}  // namespace

QDateTime messageDate(const QByteArray& rawDate, GMimeMessage* message, const QDateTime& internalDate)
{
    if (const QByteArray fixed = rawDate.contains('.') ? withColonsInTime(rawDate) : QByteArray(); !fixed.isEmpty()) {
        if (GDateTime* date = g_mime_utils_header_decode_date(fixed.constData())) {
            const QDateTime result = QDateTime::fromSecsSinceEpoch(g_date_time_to_unix(date));
            g_date_time_unref(date);
            return result;
        }
    }
    if (GDateTime* date = g_mime_message_get_date(message))
        return QDateTime::fromSecsSinceEpoch(g_date_time_to_unix(date));
    return fallbackDate(internalDate);
}

QDateTime fallbackDate(const QDateTime& internalDate)
{
    return internalDate.isValid() ? internalDate.toLocalTime() : QDateTime::currentDateTime();
}

}  // namespace tallyhive::platform::mime

#include "platform/xlsx/xlsx_date_format.h"

namespace tallyhive::platform {
namespace {

// Characters a spreadsheet number format shows as themselves without quotes.
bool isPlainLiteral(QChar c)
{
    return QStringLiteral(" -/:.,()").contains(c);
}

qsizetype runLength(const QString& pattern, qsizetype at)
{
    qsizetype end = at;
    while (end < pattern.size() && pattern.at(end) == pattern.at(at))
        ++end;
    return end - at;
}

// The spreadsheet code for a run of one Qt pattern letter; nothing for the
// zone, which has no counterpart and is left out.
QString codeFor(QChar letter, qsizetype count)
{
    switch (letter.unicode()) {
    case 'd':
        return QString(std::min<qsizetype>(count, 4), u'd');
    case 'M':  // the spreadsheet writes months and minutes alike, telling them apart by position
        return QString(std::min<qsizetype>(count, 4), u'm');
    case 'y':
        return count >= 3 ? QStringLiteral("yyyy") : QStringLiteral("yy");
    case 'h':
    case 'H':
        return QString(std::min<qsizetype>(count, 2), u'h');
    case 'm':
        return QString(std::min<qsizetype>(count, 2), u'm');
    case 's':
        return QString(std::min<qsizetype>(count, 2), u's');
    case 'z':
        return QStringLiteral("000");
    default:
        return QString();
    }
}

void appendLiteral(QString& format, const QString& text)
{
    if (text.isEmpty())
        return;
    bool plain = true;
    for (const QChar c : text)
        plain = plain && isPlainLiteral(c);
    if (plain)
        format += text;
    else
        format += u'"' + QString(text).remove(u'"') + u'"';
}

}  // namespace

QString excelDateFormat(const QString& qtPattern)
{
    QString format;
    QString literal;
    for (qsizetype at = 0; at < qtPattern.size();) {
        const QChar c = qtPattern.at(at);
        if (c == u'\'') {
            // Quoted text; two quotes in a row stand for one quote.
            const qsizetype close = qtPattern.indexOf(u'\'', at + 1);
            if (close == at + 1) {
                literal += u'\'';
                at += 2;
                continue;
            }
            const qsizetype end = close < 0 ? qtPattern.size() : close;
            literal += qtPattern.mid(at + 1, end - at - 1);
            at = end + 1;
            continue;
        }
        if (c == u'A' || c == u'a') {
            appendLiteral(format, literal);
            literal.clear();
            format += c == u'A' ? QStringLiteral("AM/PM") : QStringLiteral("am/pm");
            at += qtPattern.mid(at, 2).compare(QStringLiteral("ap"), Qt::CaseInsensitive) == 0 ? 2 : 1;
            continue;
        }
        if (QStringLiteral("dMyhHmszt").contains(c)) {
            appendLiteral(format, literal);
            literal.clear();
            const qsizetype count = runLength(qtPattern, at);
            format += codeFor(c, count);
            at += count;
            continue;
        }
        literal += c;
        ++at;
    }
    appendLiteral(format, literal);
    return format.trimmed();
}

}  // namespace tallyhive::platform

#include "platform/xlsx/xlsx_cell_text.h"

#include <QString>

#include <algorithm>

namespace tallyhive::platform {
namespace {

// The spreadsheet's escape for "_" itself.
const QString EscapedUnderscore = QStringLiteral("_x005F_");

bool isHexDigit(QChar c) { return c.isDigit() || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'); }

// "_xHHHH_" starting at index.
bool escapeAt(QStringView text, qsizetype index)
{
    if (index + 6 >= text.size() || text[index] != u'_' || text[index + 1] != u'x' || text[index + 6] != u'_')
        return false;
    for (qsizetype i = index + 2; i < index + 6; ++i)
        if (!isHexDigit(text[i]))
            return false;
    return true;
}

// How many units of the character at index XML can carry: 0 for none, else
// 1, or 2 for a whole surrogate pair.
int carried(QStringView text, qsizetype index)
{
    const char16_t c = text[index].unicode();
    if (c < 0x20)
        return c == u'\t' || c == u'\n' || c == u'\r' ? 1 : 0;
    if (c == 0xFFFE || c == 0xFFFF)
        return 0;
    if (QChar::isHighSurrogate(c))
        return index + 1 < text.size() && text[index + 1].isLowSurrogate() ? 2 : 0;
    return QChar::isLowSurrogate(c) ? 0 : 1;
}

// Nearly every character of mail text is plain: neither a control character,
// nor "_", nor part of a surrogate pair or beyond. Written without branches.
constexpr unsigned plain(char16_t c) { return unsigned(c - 0x20u < 0xD800u - 0x20u) & unsigned(c != u'_'); }

// A block of fixed size is tested without branches, which the compiler turns
// into vector instructions: most texts are settled at a few units per cycle.
constexpr qsizetype Block = 32;

bool blockIsPlain(const char16_t* units)
{
    unsigned all = 1;
    for (qsizetype i = 0; i < Block; ++i)
        all &= plain(units[i]);
    return all != 0;
}

bool needsRewrite(QStringView text)
{
    const char16_t* units = text.utf16();
    qsizetype i = 0;
    while (i < text.size()) {
        if (text.size() - i >= Block && blockIsPlain(units + i)) {
            i += Block;
            continue;
        }
        const qsizetype end = std::min(text.size(), i + Block);
        while (i < end) {
            if (plain(units[i])) {
                ++i;
                continue;
            }
            const int carriedUnits = carried(text, i);
            if (carriedUnits == 0 || escapeAt(text, i))
                return true;
            i += carriedUnits;
        }
    }
    return false;
}

}  // namespace

QByteArray cellUtf8(QStringView text)
{
    // Mail text almost never needs the rewrite; it is not paid for then.
    if (!needsRewrite(text))
        return text.toUtf8();
    QString stored;
    stored.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size();) {
        const int units = carried(text, i);
        if (units == 0) {
            stored += QChar::ReplacementCharacter;
            ++i;
            continue;
        }
        if (escapeAt(text, i))
            stored += EscapedUnderscore;
        else
            stored += text.mid(i, units);
        i += units;
    }
    return stored.toUtf8();
}

bool changesWhenEntered(QStringView text)
{
    if (text.isEmpty())
        return false;
    const QChar first = text.front();
    return first == u'=' || first == u'+' || first == u'-' || first == u'@' || first == u'\'';
}

}  // namespace tallyhive::platform

#include "platform/imap/imap_mailbox_name.h"

#include <optional>
#include <utility>

namespace tallyhive::platform {
namespace {

bool isDirect(char16_t c) { return c >= 0x20 && c <= 0x7e; }

QByteArray encodeShifted(const QString& run)
{
    QByteArray utf16;
    for (const QChar c : run) {
        utf16.append(static_cast<char>(c.unicode() >> 8));
        utf16.append(static_cast<char>(c.unicode() & 0xff));
    }
    QByteArray base64 = utf16.toBase64(QByteArray::OmitTrailingEquals);
    base64.replace('/', ',');
    return '&' + base64 + '-';
}

std::optional<QString> decodeShifted(QByteArray base64)
{
    base64.replace(',', '/');
    auto decoded = QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() % 2 != 0 || decoded.decoded.isEmpty())
        return std::nullopt;
    QString text;
    const QByteArray& bytes = decoded.decoded;
    for (qsizetype i = 0; i < bytes.size(); i += 2)
        text.append(QChar(static_cast<char16_t>((static_cast<uchar>(bytes[i]) << 8) | static_cast<uchar>(bytes[i + 1]))));
    return text;
}

}  // namespace

QByteArray encodeMailboxName(const QString& name)
{
    QByteArray wire;
    QString shifted;
    for (const QChar c : name) {
        if (isDirect(c.unicode())) {
            if (!shifted.isEmpty()) {
                wire += encodeShifted(shifted);
                shifted.clear();
            }
            wire += c == u'&' ? QByteArray("&-") : QByteArray(1, static_cast<char>(c.unicode()));
        } else {
            shifted.append(c);
        }
    }
    if (!shifted.isEmpty())
        wire += encodeShifted(shifted);
    return wire;
}

namespace {

// Nothing when the bytes are not modified UTF-7 at all.
std::optional<QString> decodeModifiedUtf7(const QByteArray& wireName)
{
    QString name;
    qsizetype i = 0;
    while (i < wireName.size()) {
        const char c = wireName[i];
        if (c != '&') {
            if (static_cast<uchar>(c) >= 0x80)
                return std::nullopt;
            name.append(QLatin1Char(c));
            ++i;
            continue;
        }
        const qsizetype end = wireName.indexOf('-', i + 1);
        if (end < 0)
            return std::nullopt;
        if (end == i + 1) {
            name.append(u'&');
        } else {
            const auto decoded = decodeShifted(wireName.sliced(i + 1, end - i - 1));
            if (!decoded)
                return std::nullopt;
            name.append(*decoded);
        }
        i = end + 1;
    }
    return name;
}

// Characters a list shows as a box, as nothing, or as a break in the line.
// The joiners stay: emoji sequences and several scripts need them.
bool unshowable(char32_t c)
{
    if (c == 0x200c || c == 0x200d)
        return false;
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

QString hex(uint value, int digits) { return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper(); }

void appendShown(QString& text, char32_t c)
{
    if (!unshowable(c))
        text.append(QStringView(QChar::fromUcs4(c)));
    else if (c > 0xffff)
        text.append(QStringLiteral("\\U") + hex(c, 8));
    else
        text.append(QStringLiteral("\\u") + hex(c, 4));
}

QString shownText(const QString& decoded)
{
    QString text;
    text.reserve(decoded.size());
    for (qsizetype i = 0; i < decoded.size(); ++i) {
        const QChar c = decoded[i];
        if (c.isHighSurrogate() && i + 1 < decoded.size() && decoded[i + 1].isLowSurrogate()) {
            appendShown(text, QChar::surrogateToUcs4(c, decoded[i + 1]));
            ++i;
        } else {
            appendShown(text, c.unicode());  // a lone surrogate is unshowable
        }
    }
    return text;
}

// The code point of the UTF-8 sequence at `at` and its length; length 0
// when the bytes there are not UTF-8 (overlong forms and surrogates included).
std::pair<char32_t, int> utf8At(const QByteArray& bytes, qsizetype at)
{
    const auto lead = static_cast<uchar>(bytes[at]);
    const int length = lead < 0x80 ? 1 : lead >= 0xc2 && lead <= 0xdf ? 2 : lead >= 0xe0 && lead <= 0xef ? 3 : lead >= 0xf0 && lead <= 0xf4 ? 4 : 0;
    if (length == 0 || at + length > bytes.size())
        return {0, 0};
    char32_t c = length == 1 ? lead : lead & (0x7f >> length);
    for (int k = 1; k < length; ++k) {
        const auto next = static_cast<uchar>(bytes[at + k]);
        if ((next & 0xc0) != 0x80)
            return {0, 0};
        c = (c << 6) | (next & 0x3f);
    }
    constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < smallest[length] || c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff))
        return {0, 0};
    return {c, length};
}

QString shownBytes(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        const auto [c, length] = utf8At(bytes, i);
        if (length == 0) {
            text.append(QStringLiteral("\\x") + hex(static_cast<uchar>(bytes[i]), 2));
            ++i;
        } else {
            appendShown(text, c);
            i += length;
        }
    }
    return text;
}

}  // namespace

QString decodeMailboxName(const QByteArray& wireName)
{
    if (auto name = decodeModifiedUtf7(wireName))
        return *name;
    return QString::fromUtf8(wireName);  // a server that sends raw UTF-8
}

// A name whose bytes are not the encoding of their decoded text ("&AGE-"
// for "a", a shift never closed) is shown as the server wrote it: decoding
// it would make it look like a name it is not.
QString shownMailboxName(const QByteArray& listed)
{
    if (const auto name = decodeModifiedUtf7(listed); name && encodeMailboxName(*name) == listed)
        return shownText(*name);
    return shownBytes(listed);
}

}  // namespace tallyhive::platform

#include "platform/imap/imap_mailbox_name.h"

#include <optional>

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

QString decodeMailboxName(const QByteArray& wireName)
{
    QString name;
    qsizetype i = 0;
    while (i < wireName.size()) {
        const char c = wireName[i];
        if (c != '&') {
            if (static_cast<uchar>(c) >= 0x80)
                return QString::fromUtf8(wireName);  // a server that sends raw UTF-8
            name.append(QLatin1Char(c));
            ++i;
            continue;
        }
        const qsizetype end = wireName.indexOf('-', i + 1);
        if (end < 0)
            return QString::fromUtf8(wireName);
        if (end == i + 1) {
            name.append(u'&');
        } else {
            const auto decoded = decodeShifted(wireName.sliced(i + 1, end - i - 1));
            if (!decoded)
                return QString::fromUtf8(wireName);
            name.append(*decoded);
        }
        i = end + 1;
    }
    return name;
}

}  // namespace tallyhive::platform

#include "platform/store/stored_record.h"

#include <zlib.h>

namespace tallyhive::platform::stored_record {
namespace {

// Raised whenever the layout below changes; a piece of another is not read.
constexpr char kLayout = 2;
constexpr qsizetype kChecksumSize = 4;

void appendNumber(QByteArray& out, quint64 number, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char((number >> (8 * i)) & 0xff));
}

void appendBytes(QByteArray& out, const QByteArray& bytes)
{
    appendNumber(out, quint64(bytes.size()), 4);
    out.append(bytes);
}

quint32 checksum(const char* data, qsizetype size)
{
    return quint32(crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data), uInt(size)));
}

// Reads the piece front to back; once anything does not fit, every later
// read fails too.
class Reader {
public:
    Reader(const char* data, qsizetype size) : data_(data), left_(size) {}

    bool ok() const { return ok_; }
    bool atEnd() const { return left_ == 0; }

    quint64 number(int bytes)
    {
        if (!take(bytes))
            return 0;
        quint64 number = 0;
        for (int i = bytes - 1; i >= 0; --i)
            number = (number << 8) | quint8(data_[-bytes + i]);
        return number;
    }
    QByteArray bytes()
    {
        const quint64 size = number(4);
        if (!ok_ || size > quint64(left_)) {
            ok_ = false;
            return {};
        }
        take(qsizetype(size));
        // A view: what is kept of it is copied by the one who keeps it.
        return QByteArray::fromRawData(data_ - size, qsizetype(size));
    }
    QString text() { return QString::fromUtf8(bytes()); }

private:
    bool take(qsizetype bytes)
    {
        if (!ok_ || bytes > left_) {
            ok_ = false;
            return false;
        }
        data_ += bytes;
        left_ -= bytes;
        return true;
    }

    const char* data_;
    qsizetype left_;
    bool ok_ = true;
};

}  // namespace

QByteArray serialised(const EmailRecord& record)
{
    const QByteArray plain = record.s_PlainText.serialised();
    const QByteArray html = record.s_HTMLText.serialised();
    QByteArray out;
    // Made once at its full size: the writer's heap stays as small as one record.
    const auto texts = EmailRecord::shortTextsOf(record);
    qsizetype textSize = 0;
    for (const QString* text : texts)
        textSize += text->size();
    out.reserve(128 + plain.size() + html.size() + 3 * textSize);
    out.append(kLayout);
    for (const QString* text : texts)
        appendBytes(out, text->toUtf8());
    appendNumber(out, quint64(record.receivedAt.toMSecsSinceEpoch()), 8);
    appendNumber(out, quint64(record.size), 8);
    out.append(char(record.keptAsRawText ? 1 : 0));
    appendBytes(out, plain);
    appendBytes(out, html);
    appendNumber(out, checksum(out.constData(), out.size()), kChecksumSize);
    return out;
}

std::optional<EmailRecord> restored(const QByteArray& piece)
{
    const qsizetype body = piece.size() - kChecksumSize;
    if (body < 1 || piece.at(0) != kLayout)
        return std::nullopt;
    Reader check(piece.constData() + body, kChecksumSize);
    if (check.number(kChecksumSize) != checksum(piece.constData(), body))
        return std::nullopt;
    Reader in(piece.constData() + 1, body - 1);
    EmailRecord record;
    for (QString* text : EmailRecord::shortTextsOf(record))
        *text = in.text();
    record.receivedAt = QDateTime::fromMSecsSinceEpoch(qint64(in.number(8)));
    record.size = qint64(in.number(8));
    record.keptAsRawText = in.number(1) != 0;
    const auto plain = PackedText::restored(in.bytes());
    if (!plain)
        return std::nullopt;
    const auto html = PackedText::restored(in.bytes(), &*plain);
    if (!in.ok() || !in.atEnd() || !html)
        return std::nullopt;
    record.s_PlainText = *plain;
    record.s_HTMLText = *html;
    return record;
}

}  // namespace tallyhive::platform::stored_record

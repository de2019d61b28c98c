#pragma once

#include <QByteArray>
#include <QString>

#include <zlib.h>

#include <memory>
#include <optional>

namespace tallyhive {

// A body text kept small: as UTF-8, deflated when that saves at least an
// eighth, and made into text again whenever it is read. A window keeps every
// body of a folder, and in UTF-16 they took more memory than the mail itself.
class PackedText {
public:
    // Packing runs on the conversion threads, which set the pace of a fetch:
    // the quickest level, where a higher one saved a twelfth at three times
    // the time. Beside a related text, level 3 finds the repeats that level 1
    // misses and keeps it at half the size, for about the same time.
    static constexpr int kLevel = 1;
    static constexpr int kRelatedLevel = 3;

    PackedText() = default;
    // Implicit, so that a record can be written down with its texts.
    PackedText(const QString& text) : PackedText(text, nullptr) {}
    // Deflated as if the start of `related` came first. An HTML body mostly
    // repeats its plain-text body; beside that one it then costs little.
    PackedText(const QString& text, const PackedText& related) : PackedText(text, &related) {}

    QString text() const { return QString::fromUtf8(utf8(utf8Size_)); }
    // In UTF-16 units, as text().size() without making the text.
    qsizetype size() const { return length_; }
    bool isEmpty() const { return length_ == 0; }

    // The same text in memory of the calling thread's own. A text packed
    // beside another is then taken to be packed beside `related`, the copy
    // of that other, whose memory it shares.
    PackedText copied(const PackedText* related = nullptr) const
    {
        PackedText copy(*this);
        copy.bytes_ = QByteArray(bytes_.constData(), bytes_.size());
        if (related_ && related)
            copy.related_ = std::make_shared<const PackedText>(*related);
        return copy;
    }

    // The text as it is kept, for a store to keep it the same way: the
    // packed bytes after a small header. A text packed beside another needs
    // that other again when it is restored.
    QByteArray serialised() const
    {
        QByteArray out;
        out.reserve(kHeaderSize + bytes_.size());
        appendNumber(out, length_);
        appendNumber(out, utf8Size_);
        out.append(char((deflated_ ? 1 : 0) | (related_ ? 2 : 0)));
        out.append(bytes_);
        return out;
    }
    // Nothing when the bytes are not what serialised() makes, or name a
    // related text and none is given.
    static std::optional<PackedText> restored(const QByteArray& kept, const PackedText* related = nullptr)
    {
        if (kept.size() < kHeaderSize)
            return std::nullopt;
        PackedText text;
        text.length_ = readNumber(kept.constData());
        text.utf8Size_ = readNumber(kept.constData() + 8);
        const int flags = kept.at(16);
        text.deflated_ = flags & 1;
        text.bytes_ = kept.mid(kHeaderSize);
        // Deflate makes at most about a thousandth of its input: a size
        // beyond that would only have a reader allocate for nothing.
        const bool sizesFit = text.deflated_ ? text.utf8Size_ <= (text.bytes_.size() + 1) * 1032 : text.bytes_.size() == text.utf8Size_;
        if (text.length_ < 0 || text.length_ > text.utf8Size_ || (flags & ~3) != 0 || !sizesFit)
            return std::nullopt;
        if (flags & 2) {
            if (!related)
                return std::nullopt;
            text.related_ = std::make_shared<const PackedText>(*related);
        }
        return text;
    }

    friend bool operator==(const PackedText& packed, const QString& text) { return packed.text() == text; }

private:
    static constexpr qsizetype kHeaderSize = 17;

    static void appendNumber(QByteArray& out, qint64 number)
    {
        for (int shift = 0; shift < 64; shift += 8)
            out.append(char((quint64(number) >> shift) & 0xff));
    }
    static qint64 readNumber(const char* in)
    {
        quint64 number = 0;
        for (int i = 7; i >= 0; --i)
            number = (number << 8) | quint8(in[i]);
        return qint64(number);
    }

    // Below this, deflating saves nothing worth the time.
    static constexpr qsizetype kSmallest = 128;
    // Deflate looks back this far, so more of a related text is no use.
    static constexpr qsizetype kRelatedStart = 32 * 1024;

    PackedText(const QString& text, const PackedText* related) : length_(text.size())
    {
        QByteArray utf8 = text.toUtf8();
        utf8Size_ = utf8.size();
        if (utf8.size() >= kSmallest) {
            const QByteArray start = related ? related->utf8(kRelatedStart) : QByteArray();
            QByteArray packed = deflated(utf8, start);
            if (!packed.isNull() && packed.size() <= utf8.size() - utf8.size() / 8) {
                utf8 = std::move(packed);
                deflated_ = true;
                if (!start.isEmpty())
                    related_ = std::make_shared<const PackedText>(*related);
            }
        }
        // The conversions leave room for the worst case; what is kept is exact.
        utf8.squeeze();
        bytes_ = std::move(utf8);
    }

    // The first `size` bytes of the text's UTF-8 at most.
    QByteArray utf8(qsizetype size) const
    {
        if (!deflated_)
            return bytes_.left(size);
        const QByteArray start = related_ ? related_->utf8(kRelatedStart) : QByteArray();
        return inflated(bytes_, std::min(size, utf8Size_), start);
    }

    static QByteArray deflated(const QByteArray& in, const QByteArray& start)
    {
        z_stream stream{};
        if (deflateInit2(&stream, start.isEmpty() ? kLevel : kRelatedLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            return {};
        if (!start.isEmpty())
            deflateSetDictionary(&stream, reinterpret_cast<const Bytef*>(start.constData()), static_cast<uInt>(start.size()));
        QByteArray out(static_cast<qsizetype>(deflateBound(&stream, static_cast<uLong>(in.size()))), Qt::Uninitialized);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
        stream.avail_in = static_cast<uInt>(in.size());
        stream.next_out = reinterpret_cast<Bytef*>(out.data());
        stream.avail_out = static_cast<uInt>(out.size());
        const int result = deflate(&stream, Z_FINISH);
        out.resize(static_cast<qsizetype>(stream.total_out));
        deflateEnd(&stream);
        return result == Z_STREAM_END ? out : QByteArray();
    }

    static QByteArray inflated(const QByteArray& in, qsizetype size, const QByteArray& start)
    {
        z_stream stream{};
        if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
            return {};
        if (!start.isEmpty())
            inflateSetDictionary(&stream, reinterpret_cast<const Bytef*>(start.constData()), static_cast<uInt>(start.size()));
        QByteArray out(size, Qt::Uninitialized);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
        stream.avail_in = static_cast<uInt>(in.size());
        stream.next_out = reinterpret_cast<Bytef*>(out.data());
        stream.avail_out = static_cast<uInt>(out.size());
        inflate(&stream, Z_FINISH);
        out.resize(static_cast<qsizetype>(stream.total_out));
        inflateEnd(&stream);
        return out;
    }

    QByteArray bytes_;
    qsizetype length_ = 0;     // UTF-16 units
    qsizetype utf8Size_ = 0;
    bool deflated_ = false;
    std::shared_ptr<const PackedText> related_;  // deflated beside this one's start
};

}  // namespace tallyhive

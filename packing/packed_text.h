#pragma once

#include <QByteArray>
#include <QString>

#include <zstd.h>

#include <memory>
#include <optional>

namespace tallyhive {

// A body text kept small: as UTF-8, compressed when that saves at least an
// eighth, and made into text again whenever it is read. A window keeps every
// body of a folder, and in UTF-16 they took more memory than the mail itself.
class PackedText {
public:
    // Packing runs on the conversion threads, which set the pace of a fetch,
    // and unpacking on the export, which reads every body once: zstd packs
    // mail text as small as deflate's quickest level in less than half the
    // time and unpacks it twice as fast. Beside a related text, level 3 finds
    // the repeats that level 1 misses and keeps it at half the size.
    static constexpr int kLevel = 1;
    static constexpr int kRelatedLevel = 3;
    // How much of a related text is used, in bytes of UTF-8 and so at most
    // as many UTF-16 units. An HTML body repeats its plain text near where it
    // stands; more of the related text costs time to index and finds little more.
    static constexpr qsizetype kRelatedStart = 32 * 1024;

    PackedText() = default;
    // Implicit, so that a record can be written down with its texts.
    PackedText(const QString& text) : PackedText(text, nullptr, nullptr) {}
    // Packed as if the start of `related` came first. An HTML body mostly
    // repeats its plain-text body; beside that one it then costs little.
    PackedText(const QString& text, const PackedText& related) : PackedText(text, &related, nullptr) {}
    // The same, where the caller still holds relatedText, the text `related`
    // was packed from, or its first kRelatedStart + 1 units: its start is
    // then not unpacked again.
    PackedText(const QString& text, const PackedText& related, const QString& relatedText)
        : PackedText(text, &related, &relatedText)
    {
    }

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
        out.append(char((compressed_ ? 1 : 0) | (related_ ? 2 : 0)));
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
        text.compressed_ = flags & 1;
        text.bytes_ = kept.mid(kHeaderSize);
        // A packed text's frame names the size it unpacks to; a header that
        // says otherwise would only have a reader allocate for nothing.
        const bool sizesFit = text.compressed_
            ? ZSTD_getFrameContentSize(text.bytes_.constData(), static_cast<size_t>(text.bytes_.size())) == quint64(text.utf8Size_)
            : text.bytes_.size() == text.utf8Size_;
        if ((flags & ~3) != 0 || !sizesFit || !withinBounds(text.utf8Size_, text.bytes_.size(), text.compressed_))
            return std::nullopt;
        // A UTF-16 unit takes one to three bytes of UTF-8.
        if (text.length_ < 0 || text.length_ > text.utf8Size_ || text.utf8Size_ > 3 * text.length_)
            return std::nullopt;
        if (flags & 2) {
            if (!related)
                return std::nullopt;
            text.related_ = std::make_shared<const PackedText>(*related);
        }
        return text;
    }

    friend bool operator==(const PackedText& packed, const QString& text) { return packed.text() == text; }

    // The most UTF-8 a kept text may claim: more than a message the server
    // may send could make of it. And mail text packs to a tenth of its size
    // or so: one claiming far more than its packed bytes could hold is a
    // crafted one, and unpacking it would only fill the memory.
    static constexpr qint64 kLargestText = 256LL * 1024 * 1024;
    static constexpr qint64 kLargestRatio = 256;
    static constexpr qint64 kAlwaysUnpacked = 1024 * 1024;

private:
    static constexpr qsizetype kHeaderSize = 17;

    static bool withinBounds(qint64 utf8Size, qint64 packedSize, bool compressed)
    {
        if (utf8Size < 0 || utf8Size > kLargestText)
            return false;
        return !compressed || utf8Size <= qMax(kAlwaysUnpacked, packedSize * kLargestRatio);
    }

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

    // Below this, packing saves nothing worth the time.
    static constexpr qsizetype kSmallest = 128;

    PackedText(const QString& text, const PackedText* related, const QString* relatedText) : length_(text.size())
    {
        QByteArray utf8 = text.toUtf8();
        utf8Size_ = utf8.size();
        if (utf8.size() >= kSmallest) {
            // Every UTF-16 unit takes a byte or more in UTF-8, so that many
            // units give at least the bytes wanted; one more keeps a pair of
            // surrogates whole where they are cut.
            const QByteArray start = !related ? QByteArray()
                : relatedText ? QStringView(*relatedText).left(kRelatedStart + 1).toUtf8().left(kRelatedStart)
                              : related->utf8(kRelatedStart);
            QByteArray packed = compressed(utf8, start);
            if (!packed.isNull() && packed.size() <= utf8.size() - utf8.size() / 8) {
                utf8 = std::move(packed);
                compressed_ = true;
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
        if (!compressed_)
            return bytes_.left(size);
        const QByteArray start = related_ ? related_->utf8(kRelatedStart) : QByteArray();
        return decompressed(bytes_, std::min(size, utf8Size_), start);
    }

    // One context of each kind a thread, made once: a context's tables cost
    // more to set up than a short text takes to pack.
    struct Contexts {
        ZSTD_CCtx* packing = ZSTD_createCCtx();
        ZSTD_DCtx* unpacking = ZSTD_createDCtx();
        Contexts() = default;
        Contexts(const Contexts&) = delete;
        Contexts& operator=(const Contexts&) = delete;
        ~Contexts()
        {
            ZSTD_freeCCtx(packing);
            ZSTD_freeDCtx(unpacking);
        }
    };
    static Contexts& contexts()
    {
        thread_local Contexts instance;
        return instance;
    }

    // Null when the text could not be packed.
    static QByteArray compressed(const QByteArray& in, const QByteArray& start)
    {
        ZSTD_CCtx* context = contexts().packing;
        if (context == nullptr)
            return {};
        ZSTD_CCtx_reset(context, ZSTD_reset_session_and_parameters);
        ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, start.isEmpty() ? kLevel : kRelatedLevel);
        if (!start.isEmpty())
            ZSTD_CCtx_refPrefix(context, start.constData(), static_cast<size_t>(start.size()));
        QByteArray out(static_cast<qsizetype>(ZSTD_compressBound(static_cast<size_t>(in.size()))), Qt::Uninitialized);
        const size_t written = ZSTD_compress2(context, out.data(), static_cast<size_t>(out.size()), in.constData(),
                                              static_cast<size_t>(in.size()));
        if (ZSTD_isError(written))
            return {};
        out.resize(static_cast<qsizetype>(written));
        return out;
    }

    // The first `size` bytes of what `in` unpacks to; as many as could be
    // unpacked when it cannot be read to the end.
    static QByteArray decompressed(const QByteArray& in, qsizetype size, const QByteArray& start)
    {
        ZSTD_DCtx* context = contexts().unpacking;
        if (context == nullptr)
            return {};
        ZSTD_DCtx_reset(context, ZSTD_reset_session_and_parameters);
        if (!start.isEmpty())
            ZSTD_DCtx_refPrefix(context, start.constData(), static_cast<size_t>(start.size()));
        QByteArray out(size, Qt::Uninitialized);
        // Read in steps, so that a start alone costs no more than its size.
        ZSTD_outBuffer output{out.data(), static_cast<size_t>(size), 0};
        ZSTD_inBuffer input{in.constData(), static_cast<size_t>(in.size()), 0};
        while (output.pos < output.size && input.pos < input.size) {
            if (ZSTD_isError(ZSTD_decompressStream(context, &output, &input)))
                break;
        }
        out.resize(static_cast<qsizetype>(output.pos));
        return out;
    }

    QByteArray bytes_;
    qsizetype length_ = 0;     // UTF-16 units
    qsizetype utf8Size_ = 0;
    bool compressed_ = false;
    std::shared_ptr<const PackedText> related_;  // packed beside this one's start
};

}  // namespace tallyhive

#include "platform/xlsx/xlsx_zip_entry.h"

#include "app/texts.h"
#include "platform/error.h"

#include <QFile>
#include <QSaveFile>

#include <zlib.h>

#include <algorithm>
#include <vector>

namespace tallyhive::platform {
namespace {

constexpr quint32 LocalHeaderSignature = 0x04034b50;
constexpr quint32 CentralHeaderSignature = 0x02014b50;
constexpr quint32 EndSignature = 0x06054b50;
constexpr int LocalHeaderSize = 30;
constexpr int CentralHeaderSize = 46;
constexpr int EndSize = 22;
constexpr quint16 DataDescriptorFlag = 0x0008;
constexpr quint16 Deflated = 8;
constexpr quint16 Stored = 0;

quint16 get16(const QByteArray& data, qsizetype at)
{
    return static_cast<quint16>(static_cast<uchar>(data.at(at)) | static_cast<uchar>(data.at(at + 1)) << 8);
}

quint32 get32(const QByteArray& data, qsizetype at)
{
    return static_cast<quint32>(get16(data, at)) | static_cast<quint32>(get16(data, at + 2)) << 16;
}

void put16(QByteArray& data, qsizetype at, quint16 value)
{
    data[at] = static_cast<char>(value & 0xff);
    data[at + 1] = static_cast<char>(value >> 8);
}

void put32(QByteArray& data, qsizetype at, quint32 value)
{
    put16(data, at, static_cast<quint16>(value & 0xffff));
    put16(data, at + 2, static_cast<quint16>(value >> 16));
}

[[noreturn]] void fail(const QString& archivePath, const QString& reason)
{
    throw AppError(texts::WorkbookNotWritten.arg(archivePath, reason));
}

struct CentralEntry {
    QByteArray header;  // the whole central record: fixed part, name, extra field, comment
    QByteArray name;
    quint32 localOffset = 0;
};

QByteArray readAt(QFile& file, qint64 offset, qint64 size)
{
    if (!file.seek(offset))
        return {};
    return file.read(size);
}

QByteArray inflateRaw(const QByteArray& compressed, qsizetype expectedSize)
{
    QByteArray out(expectedSize, Qt::Uninitialized);
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        return {};
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&stream, Z_FINISH);
    inflateEnd(&stream);
    if (result != Z_STREAM_END || stream.total_out != static_cast<uLong>(expectedSize))
        return {};
    return out;
}

QByteArray deflateRaw(const QByteArray& plain)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out(static_cast<qsizetype>(deflateBound(&stream, static_cast<uLong>(plain.size()))), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
    stream.avail_in = static_cast<uInt>(plain.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.truncate(static_cast<qsizetype>(stream.total_out));
    deflateEnd(&stream);
    return result == Z_STREAM_END ? out : QByteArray();
}

bool copyRange(QFile& from, qint64 offset, qint64 size, QSaveFile& to)
{
    constexpr qint64 Chunk = 1 << 20;
    if (!from.seek(offset))
        return false;
    while (size > 0) {
        const QByteArray block = from.read(std::min(size, Chunk));
        if (block.isEmpty() || to.write(block) != block.size())
            return false;
        size -= block.size();
    }
    return true;
}

}  // namespace

void editZipEntry(const QString& archivePath, const QByteArray& entryName,
                  const std::function<QByteArray(const QByteArray&)>& edit)
{
    QFile in(archivePath);
    if (!in.open(QIODevice::ReadOnly))
        fail(archivePath, in.errorString());

    // The end record sits in the last bytes, before a comment of up to 64 KiB.
    const qint64 tailSize = std::min<qint64>(in.size(), EndSize + 0xffff);
    const QByteArray tail = readAt(in, in.size() - tailSize, tailSize);
    qsizetype end = tail.size() - EndSize;
    while (end >= 0 && get32(tail, end) != EndSignature)
        --end;
    if (end < 0)
        fail(archivePath, QStringLiteral("no zip directory"));
    const quint16 entryCount = get16(tail, end + 10);
    const quint32 directorySize = get32(tail, end + 12);
    const quint32 directoryOffset = get32(tail, end + 16);
    if (directoryOffset == 0xffffffff || entryCount == 0xffff)
        fail(archivePath, QStringLiteral("zip64 archive"));

    const QByteArray directory = readAt(in, directoryOffset, directorySize);
    if (directory.size() != static_cast<qsizetype>(directorySize))
        fail(archivePath, in.errorString());
    std::vector<CentralEntry> entries;
    for (qsizetype at = 0; entries.size() < entryCount;) {
        if (at + CentralHeaderSize > directory.size() || get32(directory, at) != CentralHeaderSignature)
            fail(archivePath, QStringLiteral("damaged zip directory"));
        const qsizetype length = CentralHeaderSize + get16(directory, at + 28) + get16(directory, at + 30)
            + get16(directory, at + 32);
        CentralEntry entry;
        entry.header = directory.mid(at, length);
        entry.name = directory.mid(at + CentralHeaderSize, get16(directory, at + 28));
        entry.localOffset = get32(directory, at + 42);
        entries.push_back(entry);
        at += length;
    }
    std::sort(entries.begin(), entries.end(),
              [](const CentralEntry& a, const CentralEntry& b) { return a.localOffset < b.localOffset; });

    QSaveFile out(archivePath);
    if (!out.open(QIODevice::WriteOnly))
        fail(archivePath, out.errorString());
    bool found = false;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        CentralEntry& entry = entries[i];
        const quint32 nextOffset = i + 1 < entries.size() ? entries[i + 1].localOffset : directoryOffset;
        const quint32 newOffset = static_cast<quint32>(out.pos());
        if (entry.name != entryName) {
            if (!copyRange(in, entry.localOffset, nextOffset - entry.localOffset, out))
                fail(archivePath, out.errorString());
            put32(entry.header, 42, newOffset);
            continue;
        }
        found = true;
        const QByteArray local = readAt(in, entry.localOffset, LocalHeaderSize);
        if (local.size() != LocalHeaderSize || get32(local, 0) != LocalHeaderSignature)
            fail(archivePath, QStringLiteral("damaged zip entry"));
        const quint16 method = get16(entry.header, 10);
        const quint32 compressedSize = get32(entry.header, 20);
        const quint32 plainSize = get32(entry.header, 24);
        const QByteArray stored = readAt(in, entry.localOffset + LocalHeaderSize + get16(local, 26) + get16(local, 28),
                                         compressedSize);
        const QByteArray plain = method == Stored ? stored : inflateRaw(stored, plainSize);
        if ((method != Stored && method != Deflated) || plain.size() != static_cast<qsizetype>(plainSize))
            fail(archivePath, QStringLiteral("unreadable zip entry"));

        const QByteArray edited = edit(plain);
        const QByteArray packed = deflateRaw(edited);
        if (packed.isEmpty() && !edited.isEmpty())
            fail(archivePath, QStringLiteral("compression failed"));
        const auto crc = static_cast<quint32>(crc32(0, reinterpret_cast<const Bytef*>(edited.constData()),
                                                    static_cast<uInt>(edited.size())));
        const quint16 flags = get16(entry.header, 8) & ~DataDescriptorFlag;

        // The new local record carries its sizes itself, so it needs no data descriptor.
        QByteArray header = local;
        put16(header, 6, flags);
        put16(header, 8, Deflated);
        put32(header, 14, crc);
        put32(header, 18, static_cast<quint32>(packed.size()));
        put32(header, 22, static_cast<quint32>(edited.size()));
        put16(header, 26, static_cast<quint16>(entryName.size()));
        put16(header, 28, 0);
        if (out.write(header + entryName + packed) != header.size() + entryName.size() + packed.size())
            fail(archivePath, out.errorString());

        put16(entry.header, 8, flags);
        put16(entry.header, 10, Deflated);
        put32(entry.header, 16, crc);
        put32(entry.header, 20, static_cast<quint32>(packed.size()));
        put32(entry.header, 24, static_cast<quint32>(edited.size()));
        put32(entry.header, 42, newOffset);
    }
    if (!found)
        fail(archivePath, QString::fromLatin1(entryName) + QStringLiteral(" missing"));

    QByteArray newDirectory;
    for (const CentralEntry& entry : entries)
        newDirectory += entry.header;
    QByteArray endRecord = tail.mid(end);
    put32(endRecord, 12, static_cast<quint32>(newDirectory.size()));
    put32(endRecord, 16, static_cast<quint32>(out.pos()));
    if (out.write(newDirectory + endRecord) != newDirectory.size() + endRecord.size())
        fail(archivePath, out.errorString());
    in.close();
    if (!out.commit())
        fail(archivePath, out.errorString());
}

}  // namespace tallyhive::platform

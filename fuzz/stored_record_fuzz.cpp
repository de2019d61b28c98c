// Feeds arbitrary bytes to the store's record reader, and reads every field
// of what it gives back: a piece whose checksum holds is taken at its word,
// so however it came to be, it must not crash, hang or take the memory.
#include "platform/store/stored_record.h"

#include <zlib.h>

#include <cstddef>
#include <cstdint>

using namespace tallyhive;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QByteArray piece(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // Mutations almost never keep the trailing checksum right, and a wrong one
    // is turned away before decoding starts; set it to what the bytes give.
    if (piece.size() >= 5) {
        const qsizetype body = piece.size() - 4;
        const uLong sum = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(piece.constData()), uInt(body));
        for (int i = 0; i < 4; ++i)
            piece[body + i] = char((sum >> (8 * i)) & 0xff);
    }
    const std::optional<EmailRecord> record = platform::stored_record::restored(piece);
    if (!record)
        return 0;
    for (int field = 0; field <= static_cast<int>(RecordField::Folder); ++field)
        record->fieldText(static_cast<RecordField>(field)).size();
    record->receivedAt.isValid();
    // Bodies are unpacked only when read, which is where a kept size is trusted.
    record->s_PlainText.text();
    record->s_PlainText.size();
    record->s_HTMLText.text();
    record->s_HTMLText.size();
    return 0;
}

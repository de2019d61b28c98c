// Feeds arbitrary bytes to the message conversion: whatever a server sends
// must come back as a message, without a crash, a hang or a memory fault.
#include "platform/mime/mime_message.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray raw = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const tallyhive::EmailRecord message = tallyhive::platform::messageFromBytes(raw, QDateTime());
    if (!message.receivedAt.isValid())
        __builtin_trap();
    return 0;
}

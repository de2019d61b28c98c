#include "platform/mime/mime_base64.h"

#include <array>
#include <cstdint>

namespace tallyhive::platform::mime {
namespace {

constexpr std::int8_t notInAlphabet = -1;

constexpr std::array<std::int8_t, 256> alphabetValues = [] {
    std::array<std::int8_t, 256> values{};
    values.fill(notInAlphabet);
    const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::int8_t i = 0; i < 64; ++i)
        values[static_cast<unsigned char>(alphabet[i])] = i;
    return values;
}();

}  // namespace

QByteArray decodeBase64(QByteArrayView text)
{
    QByteArray bytes(text.size() / 4 * 3 + 3, Qt::Uninitialized);
    char* out = bytes.data();
    std::uint32_t bits = 0;
    int bitCount = 0;
    int groupLength = 0;
    for (const char c : text) {
        const std::int8_t value = alphabetValues[static_cast<unsigned char>(c)];
        if (value == notInAlphabet) {
            if (c == '=' && groupLength > 0)
                break;
            continue;
        }
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        bitCount += 6;
        groupLength = (groupLength + 1) % 4;
        if (bitCount >= 8) {
            bitCount -= 8;
            *out++ = static_cast<char>((bits >> bitCount) & 0xFF);
        }
    }
    bytes.truncate(out - bytes.data());
    return bytes;
}

}  // namespace tallyhive::platform::mime

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
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = in + text.size();
    std::uint32_t bits = 0;
    int bitCount = 0;
    int groupLength = 0;
    while (in < end) {
        // Whole groups of four alphabet characters, the bulk of any text.
        if (groupLength == 0 && end - in >= 4) {
            const int a = alphabetValues[in[0]], b = alphabetValues[in[1]], c = alphabetValues[in[2]],
                      d = alphabetValues[in[3]];
            if ((a | b | c | d) >= 0) {
                const auto group = static_cast<std::uint32_t>(a << 18 | b << 12 | c << 6 | d);
                *out++ = static_cast<char>(group >> 16);
                *out++ = static_cast<char>(group >> 8);
                *out++ = static_cast<char>(group);
                in += 4;
                continue;
            }
        }
        const unsigned char c = *in++;
        const std::int8_t value = alphabetValues[c];
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

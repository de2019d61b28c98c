#include "platform/mime/mime_iso2022jp.h"

namespace tallyhive::platform::mime {
namespace {

enum class Set { Ascii, DoubleByte, Katakana };

constexpr char escape = '\x1b';

// The set an escape sequence at bytes[at] switches to, and its length; a
// length of 0 when it is no sequence this rewriting knows.
std::pair<Set, qsizetype> designation(QByteArrayView bytes, qsizetype at)
{
    const QByteArrayView rest = bytes.sliced(at);
    if (rest.startsWith("\x1b(B") || rest.startsWith("\x1b(J"))
        return {Set::Ascii, 3};
    if (rest.startsWith("\x1b$@") || rest.startsWith("\x1b$B"))
        return {Set::DoubleByte, 3};
    if (rest.startsWith("\x1b&@\x1b$B"))
        return {Set::DoubleByte, 6};
    if (rest.startsWith("\x1b(I"))
        return {Set::Katakana, 3};
    return {Set::Ascii, 0};
}

bool isJisByte(unsigned char c) { return c >= 0x21 && c <= 0x7E; }

}  // namespace

QByteArray iso2022JpAsCp932(QByteArrayView bytes)
{
    QByteArray out;
    out.reserve(bytes.size());
    Set set = Set::Ascii;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == escape) {
            if (const auto [next, length] = designation(bytes, i); length > 0) {
                set = next;
                i += length - 1;
                continue;
            }
        }
        const auto c1 = static_cast<unsigned char>(bytes[i]);
        if (set == Set::Katakana && isJisByte(c1) && c1 <= 0x5F) {
            out.append(static_cast<char>(c1 + 0x80));
        } else if (set == Set::DoubleByte && isJisByte(c1) && i + 1 < bytes.size()
                   && isJisByte(static_cast<unsigned char>(bytes[i + 1]))) {
            const auto c2 = static_cast<unsigned char>(bytes[++i]);
            out.append(static_cast<char>(((c1 + 1) >> 1) + (c1 <= 0x5E ? 0x70 : 0xB0)));
            out.append(static_cast<char>(c2 + ((c1 & 1) != 0 ? (c2 >= 0x60 ? 0x20 : 0x1F) : 0x7E)));
        } else {
            out.append(static_cast<char>(c1));  // line breaks a sender left in double-byte mode
        }
    }
    return out;
}

}  // namespace tallyhive::platform::mime

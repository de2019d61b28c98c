#include "platform/mime/mime_text_decoding.h"

#include "platform/mime/mime_library.h"

#include <QStringDecoder>

#include <array>
#include <cerrno>
#include <optional>
#include <string>
#include <utility>

namespace tallyhive::platform::mime {
namespace {

constexpr std::array<char16_t, 32> windows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

std::optional<QString> strictUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// Labels whose bytes all read correctly as windows-1252. Mail programs label
// windows-1252 text "iso-8859-1" so often that its C1 range is taken as the
// code page's punctuation, as browsers do.
bool isWindows1252Family(const char* canonical)
{
    for (const char* name : {"iso-8859-1", "latin1", "windows-cp1252", "windows-1252", "cp1252"}) {
        if (g_ascii_strcasecmp(canonical, name) == 0)
            return true;
    }
    return false;
}

// Senders often label text in a vendor superset with the standard's name
// (Shift_JIS written by Windows is really CP932); the superset reads both.
const char* widerRelative(const char* canonical)
{
    static constexpr std::array<std::pair<const char*, const char*>, 4> relatives = {{
        {"shift-jis", "CP932"},
        {"sjis", "CP932"},
        {"gb2312", "GB18030"},
        {"euc-kr", "CP949"},
    }};
    for (const auto& [name, wider] : relatives) {
        if (g_ascii_strcasecmp(canonical, name) == 0)
            return wider;
    }
    return nullptr;
}

bool isUtf8(const char* canonical)
{
    return g_ascii_strcasecmp(canonical, "utf-8") == 0 || g_ascii_strcasecmp(canonical, "utf8") == 0;
}

// Labels that promise nothing beyond ASCII; 8-bit bytes under them are guesswork.
bool isUnspecific(const char* canonical)
{
    return g_ascii_strcasecmp(canonical, "us-ascii") == 0 || g_ascii_strcasecmp(canonical, "ascii") == 0
        || g_ascii_strncasecmp(canonical, "unknown", 7) == 0 || g_ascii_strncasecmp(canonical, "x-unknown", 9) == 0;
}

// Converts with iconv; nothing when the charset is unknown or the bytes are not
// valid in it. A sequence cut off at the very end is dropped, not fatal.
std::optional<QString> throughIconv(QByteArrayView bytes, const char* charset)
{
    iconv_t converter = g_mime_iconv_open("UTF-8", charset);
    if (converter == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;

    std::string out(static_cast<std::size_t>(bytes.size()) * 2 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = static_cast<std::size_t>(bytes.size());
    std::size_t written = 0;
    bool valid = true;
    while (true) {
        char* outPtr = out.data() + written;
        std::size_t outLeft = out.size() - written;
        const std::size_t result = iconv(converter, inLeft > 0 ? &in : nullptr, &inLeft, &outPtr, &outLeft);
        written = out.size() - outLeft;
        if (result != static_cast<std::size_t>(-1)) {
            if (inLeft == 0)
                break;
            continue;
        }
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        valid = errno == EINVAL;
        break;
    }
    g_mime_iconv_close(converter);
    if (!valid)
        return std::nullopt;
    return QString::fromUtf8(out.data(), static_cast<qsizetype>(written));
}

}  // namespace

QString decodeWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        *out++ = byte >= 0x80 && byte < 0xA0 ? windows1252High[byte - 0x80] : char16_t(byte);
    }
    return text;
}

QString decodeBestEffort(QByteArrayView bytes)
{
    if (auto text = strictUtf8(bytes))
        return *std::move(text);
    return decodeWindows1252(bytes);
}

QString decodeCharset(QByteArrayView bytes, const char* charset)
{
    if (charset == nullptr || *charset == '\0')
        return decodeBestEffort(bytes);
    parserOptions();  // GMime's charset tables
    const char* canonical = g_mime_charset_canon_name(charset);
    if (canonical == nullptr || isUnspecific(canonical))
        return decodeBestEffort(bytes);
    if (isUtf8(canonical)) {
        if (auto text = strictUtf8(bytes))
            return *std::move(text);
        return decodeWindows1252(bytes);
    }
    if (isWindows1252Family(canonical))
        return decodeWindows1252(bytes);
    if (auto text = throughIconv(bytes, charset))
        return *std::move(text);
    if (const char* wider = widerRelative(canonical)) {
        if (auto text = throughIconv(bytes, wider))
            return *std::move(text);
    }
    return decodeBestEffort(bytes);
}

QString withUnixLineBreaks(QString text)
{
    const qsizetype first = text.indexOf(u'\r');
    if (first < 0)
        return text;
    // One pass in place: every message body goes through here.
    QChar* data = text.data();
    const qsizetype size = text.size();
    qsizetype kept = first;
    for (qsizetype read = first; read < size; ++read) {
        if (data[read] != u'\r')
            data[kept++] = data[read];
        else if (read + 1 == size || data[read + 1] != u'\n')
            data[kept++] = u'\n';
    }
    text.truncate(kept);
    return text;
}

}  // namespace tallyhive::platform::mime

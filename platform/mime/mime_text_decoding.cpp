#include "platform/mime/mime_text_decoding.h"

#include "platform/mime/mime_iso2022jp.h"
#include "platform/mime/mime_library.h"

#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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

using CharsetNames = std::array<std::pair<const char*, const char*>, 4>;

// The second name of the pair whose first is name, ignoring letter case; nullptr when none is.
const char* pairedName(const CharsetNames& pairs, const char* name)
{
    for (const auto& [first, second] : pairs) {
        if (g_ascii_strcasecmp(name, first) == 0)
            return second;
    }
    return nullptr;
}

// Senders often label text in a vendor superset with the standard's name
// (Shift_JIS written by Windows is really CP932); the superset reads both.
const char* widerRelative(const char* canonical)
{
    static constexpr CharsetNames relatives = {{
        {"shift-jis", "CP932"},
        {"sjis", "CP932"},
        {"gb2312", "GB18030"},
        {"euc-kr", "CP949"},
    }};
    return pairedName(relatives, canonical);
}

bool isIso2022Jp(const char* canonical) { return g_ascii_strncasecmp(canonical, "iso-2022-jp", 11) == 0; }

// The length of the well-formed UTF-8 sequence at data (1 to 4), or 0.
int utf8SequenceLength(const unsigned char* data, qsizetype left)
{
    const unsigned char lead = data[0];
    if (lead < 0x80)
        return 1;
    int length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (left < length || data[1] < low || data[1] > high)
        return 0;
    for (int i = 2; i < length; ++i) {
        if (data[i] < 0x80 || data[i] > 0xBF)
            return 0;
    }
    return length;
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

// Converts with iconv; nothing when the charset is unknown or more than
// tolerated bytes are not valid in it (each of those becomes U+FFFD). A
// sequence cut off at the very end is dropped, not counted.
std::optional<QString> throughIconv(QByteArrayView bytes, const char* charset, qsizetype tolerated = 0)
{
    iconv_t converter = g_mime_iconv_open("UTF-8", charset);
    if (converter == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    keepConverterLoaded(charset);

    std::string out(static_cast<std::size_t>(bytes.size()) * 2 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = static_cast<std::size_t>(bytes.size());
    std::size_t written = 0;
    qsizetype invalid = 0;
    bool flushed = false;
    while (!flushed && invalid <= tolerated) {
        char* outPtr = out.data() + written;
        std::size_t outLeft = out.size() - written;
        // Once the input is used up, a call without input gives what the
        // converter held back (windows-1255 waits for a combining mark).
        const bool flushing = inLeft == 0;
        const std::size_t result = flushing ? iconv(converter, nullptr, nullptr, &outPtr, &outLeft)
                                            : iconv(converter, &in, &inLeft, &outPtr, &outLeft);
        written = out.size() - outLeft;
        if (result != static_cast<std::size_t>(-1)) {
            flushed = flushing;
        } else if (errno == E2BIG || (errno == EILSEQ && outLeft < 3)) {
            out.resize(out.size() * 2);
        } else if (errno == EINVAL) {
            inLeft = 0;
        } else if (errno != EILSEQ || flushing) {
            invalid = tolerated + 1;
        } else {
            ++invalid;
            out.replace(written, 3, "\xEF\xBF\xBD");
            written += 3;
            ++in;
            --inLeft;
        }
    }
    g_mime_iconv_close(converter);
    if (invalid > tolerated)
        return std::nullopt;
    return QString::fromUtf8(out.data(), static_cast<qsizetype>(written));
}

// Labels real mail uses that iconv does not know by that name.
const char* iconvName(const char* charset)
{
    static constexpr CharsetNames aliases = {{
        {"unicode-1-1-utf-7", "UTF-7"},
        {"x-mac-roman", "MACINTOSH"},
        {"x-mac-ce", "MAC-CENTRALEUROPE"},
        {"x-mac-cyrillic", "MAC-CYRILLIC"},
    }};
    if (const char* name = pairedName(aliases, charset))
        return name;
    // "x-sjis", "x-euc-jp", "x-gbk": private names of registered charsets.
    if (g_ascii_strncasecmp(charset, "x-", 2) == 0 && charset[2] != '\0')
        return charset + 2;
    return charset;
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
    QString text;
    text.reserve(bytes.size());
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < bytes.size();) {
        if (const int length = utf8SequenceLength(data + i, bytes.size() - i); length > 0) {
            i += length;
            continue;
        }
        text += QString::fromUtf8(bytes.sliced(runStart, i - runStart));
        text += decodeWindows1252(bytes.sliced(i, 1));
        runStart = ++i;
    }
    text += QString::fromUtf8(bytes.sliced(runStart));
    return text;
}

QString decodeRawHeaderBytes(QByteArrayView bytes, const char* messageCharset)
{
    if (auto text = strictUtf8(bytes))
        return *std::move(text);
    // Header bytes are ASCII-based whatever the body is in: a UTF-16 body says
    // nothing about them.
    const bool asciiBased = messageCharset != nullptr && g_ascii_strncasecmp(messageCharset, "utf", 3) != 0
        && g_ascii_strncasecmp(messageCharset, "ucs", 3) != 0 && g_ascii_strncasecmp(messageCharset, "unicode", 7) != 0;
    return asciiBased ? decodeCharset(bytes, messageCharset) : decodeBestEffort(bytes);
}

QString decodeCharset(QByteArrayView bytes, const char* charset)
{
    if (charset == nullptr || *charset == '\0')
        return decodeBestEffort(bytes);
    parserOptions();  // GMime's charset tables
    const char* canonical = g_mime_charset_canon_name(charset);
    if (canonical == nullptr || isUnspecific(canonical) || isUtf8(canonical))
        return decodeBestEffort(bytes);
    if (isWindows1252Family(canonical))
        return decodeWindows1252(bytes);

    // The label as written, then as iconv knows it, then the superset senders
    // mean by it: the last that iconv opens reads a text with a few bad bytes.
    QByteArray converted;
    const char* widest = iconvName(charset);
    for (const char* name : {charset, widest}) {
        if (auto text = throughIconv(bytes, name))
            return *std::move(text);
    }
    if (const char* wider = widerRelative(canonical)) {
        widest = wider;
        if (auto text = throughIconv(bytes, wider))
            return *std::move(text);
    }
    if (isIso2022Jp(canonical)) {
        converted = iso2022JpAsCp932(bytes);
        bytes = converted;
        widest = "CP932";
        if (auto text = throughIconv(bytes, widest))
            return *std::move(text);
    }
    if (auto text = strictUtf8(bytes))
        return *std::move(text);
    const auto nonAscii = std::count_if(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) != 0; });
    if (auto text = throughIconv(bytes, widest, nonAscii / 4))
        return *std::move(text);
    return decodeBestEffort(bytes);
}

bool canDecodeInPieces(const char* charset)
{
    if (charset == nullptr)
        return true;
    for (const char* wide : {"utf-16", "utf16", "utf-32", "utf32", "ucs", "unicode"}) {
        if (g_ascii_strncasecmp(charset, wide, strlen(wide)) == 0)
            return false;
    }
    return true;
}

QString decodeCharsetInPieces(QByteArray bytes, const char* charset)
{
    constexpr qsizetype kPiece = 4 * 1024 * 1024;
    std::vector<QString> pieces;  // last first
    qsizetype total = 0;
    while (!bytes.isEmpty()) {
        // A piece ends after a line end; a text without one stays whole.
        const qsizetype start = bytes.size() > kPiece ? bytes.lastIndexOf('\n', bytes.size() - kPiece) + 1 : 0;
        pieces.push_back(withUnixLineBreaks(decodeCharset(QByteArrayView(bytes).sliced(start), charset)));
        total += pieces.back().size();
        bytes.truncate(start);
        bytes.squeeze();  // the bytes just decoded go back now
    }
    QString text;
    text.reserve(total);
    for (auto piece = pieces.rbegin(); piece != pieces.rend(); ++piece) {
        text += *piece;
        *piece = QString();
    }
    return text;
}

QString withUnixLineBreaks(QString text)
{
    const qsizetype first = text.indexOf(u'\r');
    if (first < 0)
        return text;
    // One pass in place, a line at a time: every message body goes through
    // here, and the search for the next CR is quicker than a test of every unit.
    QChar* data = text.data();
    const qsizetype size = text.size();
    qsizetype kept = first;
    for (qsizetype cr = first; cr >= 0;) {
        const bool pair = cr + 1 < size && data[cr + 1] == u'\n';
        if (!pair)
            data[kept++] = u'\n';
        const qsizetype lineStart = cr + 1;
        const qsizetype next = text.indexOf(u'\r', lineStart);
        const qsizetype lineEnd = next < 0 ? size : next;
        std::memmove(data + kept, data + lineStart, static_cast<size_t>(lineEnd - lineStart) * sizeof(QChar));
        kept += lineEnd - lineStart;
        cr = next;
    }
    text.truncate(kept);
    return text;
}

}  // namespace tallyhive::platform::mime

#include "platform/mime/mime_text_decoding.h"

#include <gtest/gtest.h>

namespace tallyhive::platform::mime {
namespace {

TEST(DecodeCharset, ReadsEachCharsetAsMailProgramsWriteIt)
{
    struct Case {
        const char* charset;
        QByteArray bytes;
        const char* text;
    };
    const Case cases[] = {
        {"utf-8", "Gr\xc3\xbc\xc3\x9f""e", "Grüße"},
        {"UTF8", "\xe2\x82\xac", "€"},
        {"iso-8859-1", "caf\xe9", "café"},
        {"latin1", "\xe0 \xff", "à ÿ"},
        {"windows-1252", "\x93quoted\x94 \x80", "“quoted” €"},
        {"cp1252", "\x85", "…"},
        {"koi8-r", "\xf0\xd2\xc9\xd7\xc5\xd4", "Привет"},
        {"KOI8-R", "\xa3", "ё"},
        {"shift_jis", "\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd", "こんにちは"},
        {"Shift-JIS", "\x93\xfa\x96\x7b", "日本"},
        {"iso-2022-jp", "\x1b$BF|K\\\x1b(B", "日本"},
        {"iso-8859-15", "\xa4", "€"},
        {"utf-16le", QByteArray("A\0\xac\x20", 4), "A€"},
        // iso-8859-1 labels on windows-1252 text are the rule, not the exception.
        {"iso-8859-1", "\x93Hi\x94", "“Hi”"},
        // Unknown, missing or wrong charsets fall back instead of failing.
        {"x-no-such-charset", "na\xc3\xafve", "naïve"},
        {"x-no-such-charset", "na\xefve", "naïve"},
        {nullptr, "na\xc3\xafve", "naïve"},
        {"", "na\xefve", "naïve"},
        {"utf-8", "d\xe9j\xe0", "déjà"},
        {"us-ascii", "caf\xc3\xa9", "café"},
        // Mail programs on Windows write CP932 and call it Shift_JIS.
        {"shift_jis", "\x87\x40", "①"},
        // Labels iconv does not know.
        {"unicode-1-1-utf-7", "Caf+AOk-", "Café"},
        {"x-mac-roman", "Gr\x9f\xa7""e", "Grüße"},
        {"x-sjis", "\x93\xfa\x96\x7b", "日本"},
        // windows-1255 holds a letter back in case a combining mark follows: the converter is flushed.
        {"windows-1255", "\xf2\xe1\xf8\xe9\xfa", "עברית"},
        // One bad byte must not turn a whole text into mojibake.
        {"utf-8", "Gr\xc3\xbc\xc3\x9f""e, caf\xe9", "Grüße, café"},
        {"shift_jis", "\x93\xfa\x96\x7b\xff\x8c\xea", "日本\uFFFD語"},
        // Japanese Windows mail programs write circled digits and the like into ISO-2022-JP.
        {"iso-2022-jp", "\x1b$B-!F|K\\\x1b(B abc \x1b(I12\x1b(B", "①日本 abc ｱｲ"},
        {"ISO-2022-JP", "\x1b$B-5\x1b(B\r\n", "Ⅰ\r\n"},
        // Only a sequence cut off at the end is dropped.
        {"shift_jis", "\x93\xfa\x96", "日"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(decodeCharset(c.bytes, c.charset), QString::fromUtf8(c.text)) << (c.charset ? c.charset : "(none)") << ' ' << c.text;
}

TEST(DecodeCharset, BytesNoCharsetCanReadComeThroughAsWindows1252)
{
    EXPECT_EQ(decodeCharset("\xff\xfe", "koi8-r").size(), 2);
    EXPECT_EQ(decodeCharset("\xff\xfd", "shift_jis"), QString::fromUtf8("ÿý"));
    EXPECT_EQ(decodeBestEffort("\xe2\x82\xac \x80 \xc3"), QString::fromUtf8("€ € Ã"));
    // Overlong forms and surrogates are not UTF-8.
    EXPECT_EQ(decodeBestEffort("\xc0\xaf \xed\xa0\x80"), QString::fromUtf8("À¯ í\u00a0€"));
}

TEST(DecodeRawHeaderBytes, PrefersUtf8ThenTheMessagesCharset)
{
    EXPECT_EQ(decodeRawHeaderBytes("\xf0\xd2\xc9\xd7\xc5\xd4", "koi8-r"), QString::fromUtf8("Привет"));
    EXPECT_EQ(decodeRawHeaderBytes("Gr\xc3\xbc\xc3\x9f""e", "koi8-r"), QString::fromUtf8("Grüße"));
    EXPECT_EQ(decodeRawHeaderBytes("caf\xe9", nullptr), QString::fromUtf8("café"));
    EXPECT_EQ(decodeRawHeaderBytes("caf\xe9 <a@example.com>", "utf-16"), QString::fromUtf8("café <a@example.com>"));
}

TEST(DecodeWindows1252, MapsEveryByteIncludingTheUndefinedOnes)
{
    EXPECT_EQ(decodeWindows1252("\x81\x8d\x8f\x90\x9d"), QString::fromUtf16(u"\u0081\u008d\u008f\u0090\u009d"));
    EXPECT_EQ(decodeWindows1252(QByteArray("a\0b", 3)), QString::fromUtf16(u"a\u0000b", 3));
    EXPECT_EQ(decodeWindows1252("\x9f\xa0\xff"), QString::fromUtf8("Ÿ\u00a0ÿ"));
}

TEST(DecodeCharsetInPieces, ReadsAsTheWholeTextWouldAndKeepsABadByteToItsPiece)
{
    const QByteArray line = "\xf0\xd2\xc9\xd7\xc5\xd4, \xcd\xc9\xd2\r\n";  // koi8-r
    const QString decodedLine = QString::fromUtf8("Привет, мир\n");
    const int lines = 9 * 1024 * 1024 / line.size();
    EXPECT_EQ(decodeCharsetInPieces(line.repeated(lines), "koi8-r"), decodedLine.repeated(lines));

    // UTF-8 with one windows-1252 byte: only that byte reads otherwise.
    QByteArray utf8 = QByteArray("\xe2\x82\xac euro\r\n").repeated(lines);
    utf8.append("caf\xe9\r\n");
    QString expected = QString::fromUtf8("€ euro\n").repeated(lines) + QString::fromUtf8("café\n");
    EXPECT_EQ(decodeCharsetInPieces(utf8, nullptr), expected);

    // Nothing to cut at: the text stays whole, its character intact.
    const QByteArray unbroken = QByteArray("\xc3\xbc").repeated(3 * 1024 * 1024);
    EXPECT_EQ(decodeCharsetInPieces(unbroken, "utf-8"), QString(3 * 1024 * 1024, QChar(0xfc)));
}

TEST(DecodeCharsetInPieces, OnlyForCharsetsThatWriteAsciiAsAscii)
{
    EXPECT_TRUE(canDecodeInPieces(nullptr));
    EXPECT_TRUE(canDecodeInPieces("iso-2022-jp"));
    EXPECT_TRUE(canDecodeInPieces("utf-8"));
    EXPECT_FALSE(canDecodeInPieces("UTF-16LE"));
    EXPECT_FALSE(canDecodeInPieces("ucs-2"));
}

TEST(WithUnixLineBreaks, TurnsEveryLineBreakIntoLineFeed)
{
    EXPECT_EQ(withUnixLineBreaks(QStringLiteral("a\r\nb\rc\nd\r\n\r\n")), QStringLiteral("a\nb\nc\nd\n\n"));
    EXPECT_EQ(withUnixLineBreaks(QStringLiteral("\r")), QStringLiteral("\n"));
    EXPECT_EQ(withUnixLineBreaks(QString()), QString());
}

}  // namespace
}  // namespace tallyhive::platform::mime

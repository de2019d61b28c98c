#include "platform/mime/mime_encoded_words.h"

#include <gtest/gtest.h>

namespace tallyhive::platform::mime {
namespace {

struct Case {
    const char* value;
    const char* text;
};

TEST(DecodeHeaderText, ReadsEncodedWordsAsMailReadersDoAndLosesNothingAround)
{
    const Case cases[] = {
        // Adjacent words in one charset have their bytes joined.
        // A character cut between two words, with padding inside the first.
        {"=?utf-8?B?UmU6INE=?= =?utf-8?B?gdGH0ZHRgiDihJYxNg==?=", "Re: счёт №16"},
        {"=?UTF-8?Q?Gr=C3?=\r\n =?utf-8?Q?=BC=C3=9Fe?=", "Grüße"},
        {"=?shift_jis?B?jlKTYw==?= =?shift_jis?B?idSOcQ==?=", "山田花子"},
        {"=?iso-2022-jp?B?GyRCMnE1RBsoQg==?= =?iso-2022-jp?B?GyRCJE41RDt2Tz8bKEI=?=", "会議の議事録"},
        // Words with no space between them at all.
        {"=?utf-8?B?4oKs?==?utf-8?B?4oKs?=", "€€"},
        // Whitespace is kept only where text is not encoded.
        {"=?utf-8?Q?a?=  \t =?utf-8?Q?b?=", "ab"},
        {"=?utf-8?Q?a?= b =?utf-8?Q?c?=", "a b c"},
        {"Re: =?utf-8?Q?caf=C3=A9?= au lait", "Re: café au lait"},
        {"Re:=?utf-8?Q?caf=C3=A9?=!", "Re:café!"},
        {"one\r\n two\r\n\tthree", "one two\tthree"},
        // Each charset and encoding as readers take them.
        {"=?iso-8859-1?q?caf=e9_cr=E8me?= =?koi8-r?B?8NLJ18XU?=", "café crèmeПривет"},
        {"=?utf-8?q?hello_world?=", "hello world"},
        {"=?utf-8?Q?hello world?=", "hello world"},
        {"=?utf-8*de?Q?Gr=C3=BC=C3=9Fe?=", "Grüße"},
        {"=?x-no-such-charset?Q?na=C3=AFve?=", "naïve"},
        {"=?utf-8?Q?caf=E9?=", "café"},  // Latin-1 bytes under a UTF-8 label
        {"=?unicode-1-1-utf-7?Q?Caf+AOk-?=", "Café"},
        {"=?utf-8?Q?100=25 =ZZ?=", "100% =ZZ"},
        {"=?utf-8?B?SGFsbG8?=", "Hallo"},
        // Text that only looks encoded stays; nothing is lost after a bad word.
        {"1+1=?2 and x?=y", "1+1=?2 and x?=y"},
        {"=?utf-8?X?abc?=", "=?utf-8?X?abc?="},
        {"=??Q?abc?=", "=??Q?abc?="},
        {"=?utf-8?Q?unterminated", "=?utf-8?Q?unterminated"},
        {"before =?utf-8?B?@@@@?= after", "before \uFFFD after"},
        {"=?utf-8?B?####?= =?utf-8?Q?kept?=", "\uFFFDkept"},
        {"Gr\xc3\xbc\xc3\x9f""e =?utf-8?Q?=E2=82=AC?=", "Grüße €"},
        {"\x93quoted\x94 =?utf-8?Q?=E2=82=AC?=", "“quoted” €"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(decodeHeaderText(c.value), QString::fromUtf8(c.text)) << c.value;
    EXPECT_EQ(decodeHeaderText(QByteArrayView("a\0b =?utf-8?Q?c=00d?=", 21)), QString::fromUtf16(u"a\u0000b c\u0000d", 7));
}

// What GMime's address parser gets: one UTF-8 word per run, readable in one go.
TEST(WithUtf8EncodedWords, GivesEachRunAsOneUtf8Word)
{
    EXPECT_EQ(withUtf8EncodedWords("=?utf-8?B?UmU6INE=?= =?utf-8?B?gdGH?= <a@example.com>"),
              QByteArray("=?UTF-8?B?") + QString::fromUtf8("Re: сч").toUtf8().toBase64() + "?= <a@example.com>");
    EXPECT_EQ(withUtf8EncodedWords("\"Plain\"\r\n <a@example.com>"), QByteArray("\"Plain\" <a@example.com>"));
    EXPECT_EQ(withUtf8EncodedWords(QByteArrayView("Jo\0e <j@example.com>", 20)),
              QByteArray("Jo\xEF\xBF\xBD""e <j@example.com>"));
}

}  // namespace
}  // namespace tallyhive::platform::mime

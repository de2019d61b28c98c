#include "platform/imap/imap_command.h"
#include "platform/imap/imap_internal_date.h"
#include "platform/imap/imap_mailbox_name.h"
#include "platform/imap/imap_response_reader.h"

#include <gtest/gtest.h>

using namespace tallyhive::platform;

namespace {

// Reads in pieces of `chunk` bytes, a piece also ending at each of `cuts`.
std::vector<ImapResponse> readAll(const QByteArray& stream, int chunk, const std::vector<qsizetype>& cuts = {})
{
    ImapResponseReader reader;
    std::vector<ImapResponse> responses;
    for (qsizetype i = 0, end = 0; i < stream.size(); i = end) {
        end = qMin<qsizetype>(i + chunk, stream.size());
        for (const qsizetype cut : cuts)
            end = cut > i && cut < end ? cut : end;
        reader.feed(QByteArrayView(stream).sliced(i, end - i));
        while (auto response = reader.next())
            responses.push_back(std::move(*response));
    }
    EXPECT_FALSE(reader.failed()) << reader.errorText().toStdString();
    return responses;
}

const QByteArray kConversation =
    "* OK [CAPABILITY IMAP4rev1] ready\r\n"
    "+ go ahead\r\n"
    "* 3 EXISTS\r\n"
    "* LIST (\\HasNoChildren) \"/\" {10}\r\nOdd \"name\"\r\n"
    "* LIST () NIL INBOX\r\n"
    "* 1 FETCH (INTERNALDATE \"17-Jul-1996 02:44:25 -0700\" BODY[] {15}\r\nhi {5}\r\nthere\r\n)\r\n"
    "A4 NO [AUTHENTICATIONFAILED] bad \"quote (paren\r\n"
    // Status words may come in any case, lines may end in a bare LF.
    "* ok fine\r\n"
    "a5 No nope\r\n"
    "a6 OK done\n";

TEST(ImapResponseReader, YieldsTheSameResponsesWhateverTheChunking)
{
    const auto whole = readAll(kConversation, kConversation.size());
    ASSERT_EQ(whole.size(), 10u);
    for (int chunk : {1, 2, 7, 64}) {
        const auto pieces = readAll(kConversation, chunk);
        ASSERT_EQ(pieces.size(), whole.size()) << chunk;
        for (size_t i = 0; i < whole.size(); ++i)
            EXPECT_EQ(pieces[i].raw, whole[i].raw) << chunk;
    }

    EXPECT_TRUE(whole[0].isStatus("OK"));
    EXPECT_EQ(whole[1].kind, ImapResponse::Kind::Continuation);
    EXPECT_EQ(whole[1].text, "go ahead");
    EXPECT_TRUE(whole[2].data[1].isAtom("EXISTS"));

    // A literal mailbox name keeps quotes and blanks; NIL and bare atoms work too.
    ASSERT_EQ(whole[3].data.size(), 4u);
    EXPECT_EQ(whole[3].data[3].value, "Odd \"name\"");
    EXPECT_EQ(whole[4].data[2].type, ImapToken::Type::Nil);
    EXPECT_TRUE(whole[4].data[3].isAtom("INBOX"));

    // Literal bytes that look like line ends and literal markers stay data.
    const auto& items = whole[5].data[2].children;
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[1].value, "17-Jul-1996 02:44:25 -0700");
    EXPECT_TRUE(items[2].isAtom("BODY[]"));
    EXPECT_EQ(items[3].value, "hi {5}\r\nthere\r\n");

    // Free text after a status is not parsed, so stray quotes do no harm.
    EXPECT_EQ(whole[6].kind, ImapResponse::Kind::Tagged);
    EXPECT_EQ(whole[6].tag, "A4");
    EXPECT_TRUE(whole[6].isStatus("NO"));
    EXPECT_EQ(whole[6].text, "[AUTHENTICATIONFAILED] bad \"quote (paren");

    EXPECT_EQ(whole[7].kind, ImapResponse::Kind::Untagged);
    EXPECT_TRUE(whole[7].isStatus("OK"));
    EXPECT_EQ(whole[7].text, "fine");
    EXPECT_EQ(whole[8].tag, "a5");
    EXPECT_TRUE(whole[8].isStatus("NO"));
    EXPECT_EQ(whole[8].text, "nope");
    EXPECT_EQ(whole[9].text, "done");
}

TEST(ImapResponseReader, ParsesQuotedEscapesEmptyLiteralsAndSectionAtoms)
{
    const auto responses = readAll("* LIST (\\Noselect) \"\\\\\" \"a\\\"b\\\\c\"\r\n"
                                   "* 2 FETCH (BODY[HEADER.FIELDS (FROM TO)] {0}\r\n UID 7)\r\n",
                                   3);
    ASSERT_EQ(responses.size(), 2u);
    ASSERT_EQ(responses[0].data.size(), 4u);
    EXPECT_EQ(responses[0].data[2].value, "\\");
    EXPECT_EQ(responses[0].data[3].value, "a\"b\\c");
    const auto& items = responses[1].data[2].children;
    ASSERT_EQ(items.size(), 4u);
    EXPECT_TRUE(items[0].isAtom("BODY[HEADER.FIELDS (FROM TO)]"));
    EXPECT_TRUE(items[1].isString());
    EXPECT_TRUE(items[1].value.isEmpty());
    EXPECT_TRUE(items[3].isAtom("7"));
}

TEST(ImapResponseReader, MarksUnparseableDataButKeepsReading)
{
    const auto responses = readAll("* LIST (unclosed \"x\r\n* 4 EXISTS\r\nA1 WHAT\r\n", 5);
    ASSERT_EQ(responses.size(), 3u);
    EXPECT_TRUE(responses[0].data.empty());
    EXPECT_EQ(responses[1].data.size(), 2u);
    EXPECT_TRUE(responses[2].status.isEmpty());  // a tagged reply without a status
    // Braces in free text are not a literal.
    const auto text = readAll("* OK see {here}\r\n* OK {12a}\r\n", 4);
    EXPECT_EQ(text.size(), 2u);
}

TEST(ImapResponseReader, ReportsHowFarTheCurrentLiteralHasCome)
{
    ImapResponseReader reader;
    reader.feed("* 1 FETCH (BODY[] {10}\r\n0123");
    EXPECT_FALSE(reader.next());
    auto progress = reader.literalInProgress();
    ASSERT_TRUE(progress);
    EXPECT_EQ(progress->received, 4);
    EXPECT_EQ(progress->total, 10);
    reader.feed("456789)\r\n");
    EXPECT_TRUE(reader.next());
    EXPECT_FALSE(reader.literalInProgress());
}

TEST(ImapResponseReader, FailsOnHostileSizesWithoutHoldingTheBytes)
{
    const struct { const char *size, *error; } cases[] = {
        {"999999999999", "exceeds the limit"}, {"1234567890123", "malformed literal size"},
        {"12345678901234567890", "malformed literal size"}, {"99999999999999999999999", "malformed literal size"}};
    for (const auto& c : cases) {
        ImapResponseReader reader;
        reader.feed("* 1 FETCH (BODY[] {" + QByteArray(c.size) + "}\r\nxx");
        EXPECT_FALSE(reader.next()) << c.size;
        EXPECT_TRUE(reader.failed()) << c.size;
        EXPECT_TRUE(reader.errorText().contains(QString::fromLatin1(c.error))) << reader.errorText().toStdString();
        reader.feed("more");
        EXPECT_FALSE(reader.next()) << c.size;
    }
}

TEST(ImapResponseReader, SkipsAnOverLongResponseAndKeepsItsTagAndStatus)
{
    // Longer than a line may be, in pieces, then an ordinary response.
    const QByteArray name(ImapResponseReader::kMaxLineBytes * 2, 'n');
    const QByteArray stream = "* LIST () \"/\" \"" + name + "\"\r\n* 2 EXISTS\r\n"
        "A7 NO " + name + "\r\n"
        // An over-long line that announces a literal: the literal goes with it.
        "* 3 FETCH (X \"" + name + "\" BODY[] {12}\r\nA8 OK inside)\r\n"
        "A9 OK done\r\n";
    // The over-long line's literal announcement split in two, and spread over four reads none of which ends a line.
    const qsizetype announced = stream.indexOf("{12}");
    const std::vector<std::pair<int, std::vector<qsizetype>>> readings{
        {65536, {}}, {1000003, {}}, {int(announced) + 2, {}}, {65536, {announced + 1, announced + 2, announced + 3}}};
    for (const auto& [chunk, cuts] : readings) {
        const auto responses = readAll(stream, chunk, cuts);
        ASSERT_EQ(responses.size(), 5u) << chunk;
        EXPECT_TRUE(responses[0].truncated);
        EXPECT_TRUE(responses[0].data.empty());
        EXPECT_LE(responses[0].raw.size(), ImapResponseReader::kKeptBytes);
        EXPECT_GT(responses[0].wireBytes, name.size());
        EXPECT_FALSE(responses[1].truncated);
        EXPECT_TRUE(responses[1].data[1].isAtom("EXISTS"));
        EXPECT_TRUE(responses[2].truncated);
        EXPECT_EQ(responses[2].tag, "A7");
        EXPECT_TRUE(responses[2].isStatus("NO"));
        EXPECT_TRUE(responses[3].truncated);
        EXPECT_EQ(responses[4].tag, "A9");
        EXPECT_TRUE(responses[4].isStatus("OK"));
    }

    // Without an end the stream cannot be trusted any more.
    ImapResponseReader endless;
    const QByteArray piece(4 * 1024 * 1024, 'x');
    for (int i = 0; i * piece.size() <= ImapResponseReader::kMaxSkippedBytes && !endless.failed(); ++i)
        endless.feed(piece);
    EXPECT_TRUE(endless.failed());
}

TEST(ImapResponseReader, KeepsALargeLiteralOnceInABufferOfItsOwnSize)
{
    const QByteArray body = QByteArray("Subject: big\r\n\r\n") + QByteArray(8 * 1024 * 1024, 'b');
    const QByteArray stream = "* 1 FETCH (UID 9 BODY[] {" + QByteArray::number(body.size()) + "}\r\n" + body + ")\r\nA1 OK\r\n";
    const auto responses = readAll(stream, 16384);
    ASSERT_EQ(responses.size(), 2u);
    const ImapToken& value = responses[0].data[2].children[3];
    EXPECT_EQ(value.value, body);
    // The token shares the reader's buffer, which never grew past the message.
    EXPECT_EQ(value.value.constData(), responses[0].literals[0].constData());
    EXPECT_LT(value.value.capacity(), body.size() + 4096);
    EXPECT_LT(responses[0].raw.size(), 100);
    EXPECT_EQ(responses[0].wire(), stream.left(stream.indexOf("A1 OK")));
}

TEST(ImapTokens, RejectsMalformedValuesAndDeepNesting)
{
    EXPECT_FALSE(parseImapTokens("(a b"));
    EXPECT_FALSE(parseImapTokens("a b)"));
    EXPECT_FALSE(parseImapTokens("\"unterminated"));
    EXPECT_FALSE(parseImapTokens("{5}\r\nabc"));
    EXPECT_FALSE(parseImapTokens("BODY[unclosed"));
    EXPECT_FALSE(parseImapTokens(QByteArray(1000, '(') + QByteArray(1000, ')')));
    const auto nested = parseImapTokens("((a) (b (c))) NIL\r\n");
    ASSERT_TRUE(nested);
    ASSERT_EQ(nested->size(), 2u);
    EXPECT_EQ((*nested)[0].children[1].children[1].children[0].value, "c");
}

TEST(ImapMailboxName, RoundTripsModifiedUtf7)
{
    EXPECT_EQ(encodeMailboxName(QStringLiteral("INBOX")), "INBOX");
    EXPECT_EQ(encodeMailboxName(QStringLiteral("Entwürfe")), "Entw&APw-rfe");
    EXPECT_EQ(encodeMailboxName(QStringLiteral("A&B")), "A&-B");
    for (const QString& name : {QStringLiteral("Entwürfe"), QStringLiteral("日本語/メール"), QStringLiteral("A&B ~x"),
                                QStringLiteral("Ünïcödé&")})
        EXPECT_EQ(decodeMailboxName(encodeMailboxName(name)), name);
    // Names as Dovecot lists them, both ways.
    const std::pair<QString, QByteArray> wireNames[] = {
        {QStringLiteral("Reçus"), "Re&AOc-us"},
        {QStringLiteral("Ünïcødé €"), "&ANw-n&AO8-c&APg-d&AOk- &IKw-"},
        {QStringLiteral("a&b"), "a&-b"},
        {QStringLiteral("quote \" and \\ backslash"), "quote \" and \\ backslash"},
        {QStringLiteral("Счета/2026"), "&BCEERwQ1BEIEMA-/2026"},
        {QStringLiteral("📁 Fotos"), "&2D3cwQ- Fotos"},
    };
    for (const auto& [name, wire] : wireNames) {
        EXPECT_EQ(encodeMailboxName(name), wire);
        EXPECT_EQ(decodeMailboxName(wire), name);
    }
    // Names that are not modified UTF-7 come through as sent.
    EXPECT_EQ(decodeMailboxName("Half&open"), QStringLiteral("Half&open"));
    EXPECT_EQ(decodeMailboxName("Bad&!!!-"), QStringLiteral("Bad&!!!-"));
    EXPECT_EQ(decodeMailboxName("Gesendete Elemente"), QStringLiteral("Gesendete Elemente"));
    EXPECT_EQ(decodeMailboxName(QStringLiteral("Grüße").toUtf8()), QStringLiteral("Grüße"));
}

TEST(ImapInternalDate, ParsesAndFormatsWithTheOffset)
{
    const QDateTime moment = parseInternalDate(" 7-Jul-1996 02:44:25 -0700");
    ASSERT_TRUE(moment.isValid());
    EXPECT_EQ(moment.toUTC(), QDateTime(QDate(1996, 7, 7), QTime(9, 44, 25), Qt::UTC));
    EXPECT_EQ(formatInternalDate(moment), "07-Jul-1996 02:44:25 -0700");
    EXPECT_EQ(parseInternalDate(formatInternalDate(moment)), moment);
    for (const char* bad : {"", "31-Feb-2020 00:00:00 +0000", "01-Foo-2020 00:00:00 +0000", "01-Jan-2020 25:00:00 +0000",
                            "01-Jan-2020 00:00:00 0000", "01-Jan-2020 00:00:00"})
        EXPECT_FALSE(parseInternalDate(bad).isValid()) << bad;
}

TEST(ImapCommandBuilder, QuotesPlainTextAndSendsTheRestAsLiterals)
{
    const auto plain = ImapCommandBuilder("A1", "LOGIN").string("user@example.org").string("s3cret pw").pieces();
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_EQ(plain[0], "A1 LOGIN \"user@example.org\" \"s3cret pw\"\r\n");

    const QByteArray awkward = QStringLiteral("pä\"ss").toUtf8();
    const auto literal = ImapCommandBuilder("A2", "LOGIN").string("me").string(awkward).pieces();
    ASSERT_EQ(literal.size(), 2u);
    EXPECT_EQ(literal[0], "A2 LOGIN \"me\" {6}\r\n");
    EXPECT_EQ(literal[1], awkward + "\r\n");

    for (const char* unsafe : {"a\\b", "a\rb", "a\nb"})
        EXPECT_FALSE(ImapCommandBuilder::quotable(unsafe)) << unsafe;
    EXPECT_TRUE(ImapCommandBuilder::quotable(""));
}

}  // namespace

#include "platform/mime/mime_message.h"
#include "support/process_memory.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <ctime>
#include <set>
#include <thread>
#include <vector>

// Readable failure output for texts.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace tallyhive::platform {
namespace {

// The date the server recorded on arrival; messages without a readable Date use it.
const QDateTime arrival(QDate(2022, 1, 2), QTime(3, 4, 5), Qt::UTC);

// Declared first so that the threads race for the library's one-time set-up.
TEST(Conversion, RunsOnSeveralThreadsAtOnce)
{
    const QByteArray raw = "From: a@example.com\r\nSubject: =?UTF-8?Q?=E2=82=AC?=\r\n\r\nPrice: 10\r\n";
    std::vector<MailMessage> results(8);
    std::vector<std::thread> threads;
    for (MailMessage& result : results)
        threads.emplace_back([&raw, &result] { result = messageFromBytes(raw, arrival); });
    for (std::thread& thread : threads)
        thread.join();
    for (const MailMessage& result : results)
        EXPECT_EQ(result.subject, QString::fromUtf8("€"));
}

// What one conversion took: CPU seconds of this thread, so that other work on
// the machine does not count, and the rise of the resident peak.
struct Cost {
    double cpuSeconds;
    qint64 extraBytes;
};

Cost convert(const QByteArray& raw, MailMessage& message)
{
    const auto threadSeconds = [] {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
    };
    tallyhive::testing::resetPeakResident();
    const qint64 before = tallyhive::testing::residentBytes();
    const double start = threadSeconds();
    message = messageFromBytes(raw, arrival);
    return {threadSeconds() - start, tallyhive::testing::peakResidentBytes() - before};
}

// Every message converts within a second and 100 MB, whatever its shape.
void expectCheap(const Cost& cost)
{
    EXPECT_LT(cost.cpuSeconds, 1.0);
    EXPECT_LT(cost.extraBytes, qint64(100) << 20);
}

struct CorpusMessage {
    const char* file;
    const char* from;
    const char* fromName;
    const char* fromAddress;
    const char* subject;
    const char* dateUtc;  // ISO 8601; nullptr: the arrival date
    const char* plainText;
    const char* htmlText;
};

void PrintTo(const CorpusMessage& message, std::ostream* out) { *out << message.file; }

const CorpusMessage corpus[] = {
    {"01-utf8-plain.eml", "Zoë Ünal <zoe@example.org>", "Zoë Ünal", "zoe@example.org", "Quarterly figures – März",
     "2020-02-03T09:15:30Z", "Grüße aus Köln!\nThe figures: 12 € per unit.\n", ""},
    {"02-iso-8859-1-quoted-printable.eml", "François Léger <francois@example.fr>", "François Léger",
     "francois@example.fr", "Résumé des ventes", "2020-03-10T08:00:00Z",
     "Chère collègue,\nvoici le résumé à 2\u00a0000 caractères, avec une ligne très longue qui continue ici.\n", ""},
    {"03-windows-1252-8bit.eml", "\"Mary O'Brien\" <mary@example.com>", "Mary O'Brien", "mary@example.com",
     "Invoice 2020-17", "2020-04-15T20:45:00Z", "“Smart quotes” – and a dash…\nTotal: €5.\n", ""},
    {"04-koi8-r-8bit.eml", "Иван Петров <ivan@example.ru>", "Иван Петров", "ivan@example.ru", "Отчёт",
     "2020-05-21T09:00:00Z", "Привет, мир!\nОтчёт готов.\n", ""},
    {"05-shift-jis-base64.eml", "山田太郎 <taro@example.jp>", "山田太郎", "taro@example.jp", "会議の議事録",
     "2020-06-05T00:30:00Z", "こんにちは。\n会議は午後三時です。\n", ""},
    {"06-adjacent-encoded-words-lf.eml", "Björn Borg <bjorn@example.se>", "Björn Borg", "bjorn@example.se",
     "Café au lait and more", "2020-07-11T16:20:00Z", "Line endings in this file are LF only.\n", ""},
    {"07-no-display-name-lf.eml", "plain.sender@example.net", "", "plain.sender@example.net", "No display name",
     "2020-08-02T07:05:00Z", "Just an address.\n", ""},
    {"08-html-only.eml", "\"News Desk\" <news@example.com>", "News Desk", "news@example.com", "HTML only",
     "2020-09-07T11:11:11Z", "", "<html><body><p>Café <b>open</b></p></body></html>\n"},
    {"09-alternative-qp-and-base64.eml", "Alt Sender <alt@example.com>", "Alt Sender", "alt@example.com",
     "Alternative bodies", "2020-10-13T14:00:00Z", "Price: 10 €\nThanks.", "<p>Price: 10 €</p>\n<p>Thanks.</p>\n"},
    {"10-mixed-alternative-with-attachments.eml", "Reporter <reporter@example.com>", "Reporter",
     "reporter@example.com", "Report with attachments", "2020-11-18T09:00:00Z", "See the attached report.",
     "<p>See the attached report.</p>"},
    {"11-attachments-before-body.eml", "Order Matters <order@example.com>", "Order Matters", "order@example.com",
     "Attachments come first", "2020-12-10T23:59:59Z", "A named part without a disposition.", ""},
    {"12-forwarded-message-attached.eml", "Forwarder <fwd@example.com>", "Forwarder", "fwd@example.com",
     "Fwd: Inner message", "2021-01-15T08:08:08Z", "Forwarding the message below.", ""},
    {"13-malformed-date.eml", "Bad Clock <clock@example.com>", "Bad Clock", "clock@example.com", "Malformed date",
     nullptr, "The Date header cannot be read.\n", ""},
    {"14-missing-date.eml", "No Clock <noclock@example.com>", "No Clock", "noclock@example.com", "Missing date",
     nullptr, "There is no Date header.\n", ""},
    {"15-body-starts-with-equals.eml", "Formula <formula@example.com>", "Formula", "formula@example.com", "=1+1",
     "2021-02-20T12:00:00Z", "=1+1\n=SUM(A1:A2)\n", ""},
    {"16-quoted-printable-body-starts-with-equals.eml", "Formula QP <formulaqp@example.com>", "Formula QP",
     "formulaqp@example.com", "QP formula", "2021-03-21T12:00:00Z", "=2*3 and a soft break\n", ""},
    {"17-no-headers.eml", "", "", "", "", nullptr, "This message has no headers at all.\nJust text.\n", ""},
    {"18-no-blank-line-after-headers.eml", "Hasty Sender <hasty@example.com>", "Hasty Sender", "hasty@example.com",
     "No blank line", "2021-04-19T06:30:00Z",
     "This line should have been separated from the headers.\nSecond body line.\n", ""},
    {"19-raw-utf8-headers.eml", "Jürgen Groß <juergen@example.de>", "Jürgen Groß", "juergen@example.de",
     "Überweisung für März", "2021-05-12T11:14:15Z", "Überweisung erhalten.\n", ""},
    {"20-raw-latin1-headers.eml", "Hélène Dupré <helene@example.fr>", "Hélène Dupré", "helene@example.fr",
     "Réunion à Genève", "2021-06-17T15:00:00Z", "Ça va très bien.\n", ""},
    {"21-group-sender.eml", "Sales Team: Sue Seller <sue@example.com>, bob@example.com;", "Sue Seller",
     "sue@example.com", "From a group", "2021-07-16T09:00:00Z", "Sent on behalf of the team.\n", ""},
    {"22-wrong-charset-label.eml", "Mislabelled <mislabel@example.com>", "Mislabelled", "mislabel@example.com",
     "Says UTF-8, is Latin-1", "2021-08-21T10:10:10Z", "Déjà vu, 5 €.\n", ""},
    {"23-unknown-charset.eml", "Mystery <mystery@example.com>", "Mystery", "mystery@example.com", "Unknown charset",
     "2021-09-26T20:00:00Z", "Naïve café.\n", ""},
    {"24-encoded-words-split-a-character.eml", "山田花子 <hanako@example.jp>", "山田花子", "hanako@example.jp",
     "Re: счёт №16", "2021-10-04T01:00:00Z", "Счёт во вложении.\n", ""},
    {"25-mixed-charset-encoded-words.eml", "\"Zoë Ünal\" <zoe@example.org>", "Zoë Ünal", "zoe@example.org",
     "café crèmeи чай – 10 € each", "2021-10-05T06:30:00Z", "Mixed charsets in the subject.\n", ""},
    {"26-content-type-without-subtype.eml", "Old Mailer <old@example.com>", "Old Mailer", "old@example.com",
     "Type without subtype", "2021-10-06T12:00:00Z", "The body is plain text: café au lait.\n", ""},
    {"27-unreadable-content-type.eml", "Broken Type <broken@example.com>", "Broken Type", "broken@example.com",
     "Unreadable content type", "2021-10-07T09:45:00Z", "Текст письма.", ""},
    {"28-named-text-part-without-disposition.eml", "Scanner <scanner@example.com>", "Scanner", "scanner@example.com",
     "Named text part", "2021-10-08T17:20:00Z", "Grüße, the scan is attached.", ""},
    {"29-part-headers-without-blank-line.eml", "Hasty Parts <parts@example.com>", "Hasty Parts", "parts@example.com",
     "Parts without blank lines", "2021-10-09T07:00:00Z", "The plain text follows its headers directly.\nZweite Zeile.",
     "<p>The HTML too.</p>"},
    {"30-lone-cr-line-endings.eml", "Classic Mac <classic@example.com>", "Classic Mac", "classic@example.com",
     "Lone CR line endings", "2021-10-10T18:11:00Z", "Café first line\nSecond line\n", ""},
    {"31-raw-windows-1252-headers.eml", "Zoë Ünal <zoe@example.org>", "Zoë Ünal", "zoe@example.org",
     "“Price” – €5 ✓ paid", "2021-10-11T13:00:00Z", "Total €5 – thanks.\n", ""},
    {"32-base64-without-padding.eml", "Lazy Encoder <lazy@example.com>", "Lazy Encoder", "lazy@example.com",
     "Base64 without padding", "2021-10-12T16:30:00Z", "Alles klar, bis Dienstag!", ""},
    {"33-related-root-by-start.eml", "Newsletter <news@example.com>", "Newsletter", "news@example.com", "Related root",
     "2021-10-13T06:00:00Z", "", "<p>The page.</p>"},
    {"34-charset-names-and-hebrew.eml", "佐藤 <sato@example.jp>", "佐藤", "sato@example.jp", "Café",
     "2021-10-14T18:00:00Z", "שלום ותודה רבה. עברית", ""},
    {"35-raw-koi8-r-headers.eml", "Иван Петров <ivan@example.ru>", "Иван Петров", "ivan@example.ru", "Отчёт за квартал",
     "2021-10-15T09:00:00Z", "Отчёт готов.\n", ""},
    {"40-apostrophes-and-control-characters.eml", "'Quoted' Sender <quoted@example.com>", "'Quoted' Sender",
     "quoted@example.com", "'Tis the bell\a season", "2021-10-04T10:00:00Z",
     "'Quoted first line\n+1 555 0100, -5 and @mention\nAn escape lookalike _x0041_ stays as written\n"
     "Form feed\fhere, vertical tab\vhere\n",
     ""},
    // A fuzzer's find: once took the conversion to 14 GB.
    {"41-multipart-without-boundary-and-a-long-parameter-name.eml", "Forwarder <fwdubject: Fwd: Inner 5test>", "", "",
     "", nullptr, "", ""},
    {"42-bounce-sender-without-address.eml", "MAILER DAEMON <>", "MAILER DAEMON", "", "Undeliverable: Quarterly figures",
     "2021-10-18T08:30:00Z", "Your message could not be delivered to nobody@example.net.\n", ""},
    {"43-run-in-parts-closing-boundary-last.eml", "Hasty Parts <parts@example.com>", "Hasty Parts", "parts@example.com",
     "Run-in part at the end", "2021-10-19T07:00:00Z", "The text follows its headers directly.\nZweite Zeile.",
     "<p>The HTML too.</p>"},
    {"44-run-in-parts-closing-boundary-last-lf.eml", "Hasty Parts <parts@example.com>", "Hasty Parts",
     "parts@example.com", "Run-in part at the end", "2021-10-19T07:00:00Z",
     "The text follows its headers directly.\nZweite Zeile.", "<p>The HTML too.</p>"},
};

QString corpusDir() { return QStringLiteral(TALLYHIVE_TEST_DATA_DIR "/messages"); }

QByteArray corpusBytes(const char* file)
{
    QFile in(corpusDir() + u'/' + QString::fromUtf8(file));
    if (!in.open(QIODevice::ReadOnly))
        ADD_FAILURE() << "cannot read " << file;
    return in.readAll();
}

class CorpusTest : public ::testing::TestWithParam<CorpusMessage> {};

TEST_P(CorpusTest, GivesTheSevenExpectedValues)
{
    const CorpusMessage& expected = GetParam();
    MailMessage message;
    expectCheap(convert(corpusBytes(expected.file), message));
    EXPECT_FALSE(message.keptAsRawText);

    EXPECT_EQ(message.from, QString::fromUtf8(expected.from));
    EXPECT_EQ(message.fromName, QString::fromUtf8(expected.fromName));
    EXPECT_EQ(message.fromAddress, QString::fromUtf8(expected.fromAddress));
    EXPECT_EQ(message.subject, QString::fromUtf8(expected.subject));
    const QDateTime date = expected.dateUtc ? QDateTime::fromString(QString::fromLatin1(expected.dateUtc), Qt::ISODate)
                                            : arrival;
    EXPECT_EQ(message.date.toUTC(), date.toUTC());
    EXPECT_EQ(message.date.timeSpec(), Qt::LocalTime);
    EXPECT_EQ(message.plainText, QString::fromUtf8(expected.plainText));
    EXPECT_EQ(message.htmlText, QString::fromUtf8(expected.htmlText));
}

INSTANTIATE_TEST_SUITE_P(Messages, CorpusTest, ::testing::ValuesIn(corpus),
                         [](const ::testing::TestParamInfo<CorpusMessage>& info) {
                             std::string name = std::string(info.param.file).substr(0, 2);
                             return "Message" + name;
                         });

// Other test programs load the whole folder into a mail server and expect one
// row per file, so every message there must have its values checked here.
TEST(Corpus, EveryMessageFileHasExpectedValues)
{
    std::set<QString> listed;
    for (const CorpusMessage& message : corpus)
        listed.insert(QString::fromUtf8(message.file));
    const QStringList files = QDir(corpusDir()).entryList({QStringLiteral("*.eml")}, QDir::Files);
    EXPECT_EQ(std::set<QString>(files.begin(), files.end()), listed);
}

// Every input a fuzzer ever found stays in the seed corpus.
TEST(FuzzSeeds, EachConvertsWithinASecondAnd100MB)
{
    const QDir seeds(QStringLiteral(TALLYHIVE_FUZZ_CORPUS_DIR "/message_fuzz"));
    const QStringList files = seeds.entryList(QDir::Files);
    ASSERT_GE(files.size(), 10);
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        QFile in(seeds.filePath(file));
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        MailMessage message;
        expectCheap(convert(in.readAll(), message));
        EXPECT_TRUE(message.date.isValid());
    }
}

// Nested multiparts, each line compared with every boundary it lies in.
QByteArray nestedMultiparts(int depth)
{
    QByteArray raw = "From: a@example.com\r\nSubject: nested\r\n";
    for (int i = 0; i < depth; ++i)
        raw += "Content-Type: multipart/mixed; boundary=\"b" + QByteArray::number(i) + "\"\r\n\r\n--b" + QByteArray::number(i) + "\r\n";
    raw += "Content-Type: text/plain\r\n\r\ninner\r\n";
    for (int i = depth - 1; i >= 0; --i)
        raw += "--b" + QByteArray::number(i) + "--\r\n";
    return raw;
}

TEST(Budget, MessagesShapedToCostMoreThanTheirSizeKeepTheirRawText)
{
    struct Case {
        const char* shape;
        QByteArray raw;
        const char* plainText;  // nullptr: the raw text, kept for its shape
    };
    const QByteArray tinyParts = "From: a@example.com\r\nSubject: nested\r\nContent-Type: multipart/mixed; boundary=p\r\n\r\n"
        + QByteArray("--p\r\nContent-Type: text/plain\r\n\r\nx\r\n").repeated(30000) + "--p--\r\n";
    const QByteArray longDelimiter = "--" + QByteArray(100000, 'a');
    const QByteArray longBoundary = "From: a@example.com\r\nSubject: nested\r\nContent-Type: multipart/mixed; boundary=\""
        + longDelimiter.sliced(2) + "\"\r\n\r\n" + (longDelimiter + "\r\n\r\nx\r\n").repeated(20) + longDelimiter + "--\r\n";
    const Case cases[] = {
        {"60 nested multiparts", nestedMultiparts(60), "inner"},
        {"2000 nested multiparts", nestedMultiparts(2000), nullptr},
        {"30,000 parts of one line", tinyParts, nullptr},
        {"the same with boundaries in other case and folded",
         QByteArray(nestedMultiparts(2000)).replace("Content-Type: multipart/mixed;", "CONTENT-TYPE : Multipart/Mixed;\r\n"),
         nullptr},
        // GMime lists no part under a boundary this long; looking for lost parts must stay cheap.
        {"a boundary of 100,000 repeated bytes", longBoundary, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shape);
        MailMessage message;
        expectCheap(convert(c.raw, message));
        EXPECT_EQ(message.keptAsRawText, c.plainText == nullptr);
        if (c.plainText == nullptr) {
            EXPECT_EQ(message.plainText, QString::fromLatin1(c.raw).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
            EXPECT_TRUE(message.subject.isEmpty());
            EXPECT_EQ(message.date, arrival.toLocalTime());
        } else {
            EXPECT_EQ(message.plainText, QString::fromUtf8(c.plainText));
            EXPECT_EQ(message.subject, QStringLiteral("nested"));
        }
    }
}

TEST(UnparsableMessage, KeepsItsTextAsThePlainBodyAndTheArrivalDate)
{
    for (const QByteArray& raw : {QByteArray(), QByteArray("\r\n"), QByteArray("no headers here\r\nat all"),
                                  QByteArray("\x01\x02\xff\xfe\x00junk\x80\x9d", 11)}) {
        const MailMessage message = messageFromBytes(raw, arrival);
        EXPECT_TRUE(message.from.isEmpty());
        EXPECT_TRUE(message.subject.isEmpty());
        EXPECT_TRUE(message.htmlText.isEmpty());
        EXPECT_EQ(message.date, arrival.toLocalTime());
        EXPECT_EQ(message.plainText.isEmpty(), raw.trimmed().isEmpty()) << raw.toHex().constData();
    }
    EXPECT_EQ(messageFromBytes(QByteArray("caf\xe9 \x80", 6), arrival).plainText, QString::fromUtf8("café €"));
}

TEST(MessageDate, IsNeverInvalid)
{
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    for (const QByteArray& raw : {QByteArray("Subject: no date\r\n\r\nbody\r\n"), QByteArray()}) {
        const QDateTime date = messageFromBytes(raw, QDateTime()).date;
        ASSERT_TRUE(date.isValid());
        EXPECT_GE(date, before);
        EXPECT_LE(date, QDateTime::currentDateTime().addSecs(1));
    }
}

TEST(Sender, OddFromHeadersStillGiveWhatCanBeRead)
{
    struct Case {
        const char* header;
        const char* fromName;
        const char* fromAddress;
    };
    const Case cases[] = {
        {"john@example.org (John Doe)", "John Doe", "john@example.org"},
        {"\"=?UTF-8?Q?Zo=C3=AB?=\" <zoe@example.org>", "Zoë", "zoe@example.org"},
        {"<<<not an address", "", ""},
        {"Broken <broken@example.com", "Broken", "broken@example.com"},
        {"undisclosed-recipients:;", "undisclosed-recipients", ""},
        {"", "", ""},
        // One encoded word holding a comma is one name, not two addresses.
        {"=?utf-8?Q?Doe=2C_J=C3=B6rg?= <jd@example.org>", "Doe, Jörg", "jd@example.org"},
        {"=?utf-8?B?0JjQstCw0L0g0J8=?= =?utf-8?B?0LXRgtGA0L7Qsg==?= <ivan@example.ru>", "Иван Петров", "ivan@example.ru"},
        {"\"=?utf-8?B?UmU6INE=?= =?utf-8?B?gdGH0ZHRgg==?=\" <q@example.com>", "Re: счёт", "q@example.com"},
        {"=?utf-8?Q?Zo=C3=AB?=\r\n =?iso-8859-1?Q?_=DCnal?= <z@example.org>", "Zoë Ünal", "z@example.org"},
        {"=?utf-8?Q?Nobody?=", "", "Nobody"},
        {"\"Mail Delivery System\" < >", "Mail Delivery System", ""},
    };
    for (const Case& c : cases) {
        const MailMessage message =
            messageFromBytes(QByteArray("From: ") + c.header + "\r\nSubject: s\r\n\r\nbody\r\n", arrival);
        EXPECT_EQ(message.fromName, QString::fromUtf8(c.fromName)) << c.header;
        EXPECT_EQ(message.fromAddress, QString::fromUtf8(c.fromAddress)) << c.header;
        EXPECT_EQ(message.plainText, QStringLiteral("body\n")) << c.header;
    }
}

TEST(Body, AttachmentOnlyMessageHasNoBody)
{
    const QByteArray raw = "From: a@example.com\r\nContent-Type: text/plain; name=\"a.txt\"\r\n"
                           "Content-Disposition: attachment; filename=\"a.txt\"\r\n\r\nattached\r\n";
    const MailMessage message = messageFromBytes(raw, arrival);
    EXPECT_TRUE(message.plainText.isEmpty());
    EXPECT_TRUE(message.htmlText.isEmpty());
}

TEST(Body, TextThatOnlyNamesAFileIsTheBody)
{
    const QByteArray raw = "From: a@example.com\r\nContent-Type: text/plain; name=\"note.txt\"\r\n\r\nnamed\r\n";
    EXPECT_EQ(messageFromBytes(raw, arrival).plainText, QStringLiteral("named\n"));
}

TEST(Body, AnAttachedMultipartKeepsItsTexts)
{
    const QByteArray raw = "From: a@example.com\r\nContent-Type: multipart/mixed; boundary=o\r\n\r\n--o\r\n"
                           "Content-Type: multipart/alternative; boundary=i\r\nContent-Disposition: attachment\r\n\r\n"
                           "--i\r\nContent-Type: text/plain\r\n\r\nattached\r\n--i--\r\n"
                           "--o\r\nContent-Type: text/plain\r\n\r\nthe body\r\n--o--\r\n";
    EXPECT_EQ(messageFromBytes(raw, arrival).plainText, QStringLiteral("the body"));
}

TEST(Body, UnreadableContentTypesAreReadAsPlainText)
{
    for (const char* type : {";;garbage", "text", "/", "charset=utf-8", "text/; charset=utf-8"}) {
        const QByteArray raw = QByteArray("From: a@example.com\r\nContent-Type: ") + type + "\r\n\r\nGr\xc3\xbc\xc3\x9f""e\r\n";
        EXPECT_EQ(messageFromBytes(raw, arrival).plainText, QString::fromUtf8("Grüße\n")) << type;
    }
    // A real octet stream is not text.
    const QByteArray binary = "From: a@example.com\r\nContent-Type: application/octet-stream\r\n\r\ndata\r\n";
    EXPECT_TRUE(messageFromBytes(binary, arrival).plainText.isEmpty());
}

// A text with every character of the literal, NULs included.
template <std::size_t N>
QString fromLiteral(const char16_t (&text)[N])
{
    return QString::fromUtf16(text, N - 1);
}

TEST(MessageDate, ReadsATimeWrittenWithDots)
{
    const QByteArray raw = "From: a@example.com\r\nDate: Mon, 3 Feb 2020 10.30.15 +0100\r\n\r\nbody\r\n";
    EXPECT_EQ(messageFromBytes(raw, arrival).date.toUTC(), QDateTime(QDate(2020, 2, 3), QTime(9, 30, 15), Qt::UTC));
}

TEST(Body, APartWithoutHeadersOrBlankLineKeepsItsText)
{
    const QByteArray raw = "From: a@example.com\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
                           "--b\r\nstraight after the boundary\r\n--b--\r\n";
    EXPECT_EQ(messageFromBytes(raw, arrival).plainText, QStringLiteral("straight after the boundary"));
}

TEST(NulBytes, NeverCutAHeaderOrABody)
{
    static const char bytes[] = "From: Jo\0e <joe@example.com>\r\nSubject: NUL\0here\r\n"
                                "Content-Type: multipart/alternative; boundary=b\r\n\r\n"
                                "--b\r\nContent-Type: text/plain\r\n\r\nbody\0after\r\n"
                                "--b\r\nContent-Type: text/html\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
                                "<p>a=00b</p>\r\n--b--\r\n";
    const QByteArray raw(bytes, sizeof bytes - 1);
    const MailMessage message = messageFromBytes(raw, arrival);
    EXPECT_EQ(message.subject, fromLiteral(u"NUL\u0000here"));
    EXPECT_EQ(message.from, fromLiteral(u"Jo\u0000e <joe@example.com>"));
    EXPECT_EQ(message.fromName, QString::fromUtf8("Jo\uFFFDe"));  // the address parser reads C strings
    EXPECT_EQ(message.fromAddress, QStringLiteral("joe@example.com"));
    EXPECT_EQ(message.plainText, fromLiteral(u"body\u0000after"));
    EXPECT_EQ(message.htmlText, fromLiteral(u"<p>a\u0000b</p>"));
}

TEST(LineEnds, LoneCarriageReturnsEndLinesButCrCrLfIsOneLineEnd)
{
    const MailMessage cr = messageFromBytes("From: a@example.com\rSubject: cr\r\rbody\rmore", arrival);
    EXPECT_EQ(cr.fromAddress, QStringLiteral("a@example.com"));
    EXPECT_EQ(cr.subject, QStringLiteral("cr"));
    EXPECT_EQ(cr.plainText, QStringLiteral("body\nmore"));

    const MailMessage crcrlf = messageFromBytes("Subject: doubled\r\r\nFrom: a@example.com\r\r\n\r\nbody\r\r\n", arrival);
    EXPECT_EQ(crcrlf.subject, QStringLiteral("doubled"));
    EXPECT_EQ(crcrlf.fromAddress, QStringLiteral("a@example.com"));
    EXPECT_EQ(crcrlf.plainText, QStringLiteral("body\n\n"));
}

TEST(Body, InlineTextWithAFileNameIsTheBody)
{
    const QByteArray raw = "From: a@example.com\r\nContent-Type: text/plain; name=\"note.txt\"\r\n"
                           "Content-Disposition: inline; filename=\"note.txt\"\r\n\r\nshown inline\r\n";
    EXPECT_EQ(messageFromBytes(raw, arrival).plainText, QStringLiteral("shown inline\n"));
}

TEST(Body, LargeMessageConvertsWhole)
{
    QByteArray raw = "From: Big <big@example.com>\r\nSubject: big\r\nContent-Type: text/plain; charset=utf-8\r\n"
                     "Content-Transfer-Encoding: quoted-printable\r\n\r\n";
    const QByteArray line = "Zeile mit Umlaut =C3=BC und einem langen Text, der die Zeile f=C3=BCllt.\r\n";
    const int lines = 5 * 1024 * 1024 / line.size();
    raw.reserve(raw.size() + lines * line.size());
    for (int i = 0; i < lines; ++i)
        raw.append(line);

    const MailMessage message = messageFromBytes(raw, arrival);
    const QString decodedLine = QString::fromUtf8("Zeile mit Umlaut ü und einem langen Text, der die Zeile füllt.\n");
    ASSERT_EQ(message.plainText.size(), qsizetype(lines) * decodedLine.size());
    EXPECT_TRUE(message.plainText.endsWith(decodedLine));
    EXPECT_EQ(message.subject, QStringLiteral("big"));
}

TEST(Body, LargeTextsInEveryEncodingComeOutWhole)
{
    // Past 8 MB a body's text is made in pieces after its message is gone.
    const QByteArray line = "Gr\xc3\xbc\xc3\x9f""e aus M\xc3\xbcnchen, \xe2\x82\xac 12 \xe2\x80\x93 ein Satz.\r\n";
    const QString decodedLine = QString::fromUtf8("Grüße aus München, € 12 – ein Satz.\n");
    const int lines = 10 * 1024 * 1024 / line.size();
    const QByteArray text = line.repeated(lines);
    const QString expected = decodedLine.repeated(lines);
    const QByteArray head = "From: a@example.com\r\nSubject: big\r\nMIME-Version: 1.0\r\n"
                            "Content-Type: multipart/alternative; boundary=\"b\"\r\n\r\n";
    struct Case {
        const char* encoding;
        QByteArray body;
    };
    const Case cases[] = {{"8bit", text}, {"base64", text.toBase64()}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoding);
        const QByteArray part = QByteArray("Content-Transfer-Encoding: ") + c.encoding + "\r\n\r\n" + c.body + "\r\n";
        const QByteArray raw = head + "--b\r\nContent-Type: text/plain; charset=utf-8\r\n" + part
            + "--b\r\nContent-Type: text/html; charset=utf-8\r\n" + part + "--b--\r\n";
        const MailMessage message = messageFromBytes(raw, arrival);
        EXPECT_EQ(message.subject, QStringLiteral("big"));
        // The line break before the boundary belongs to the boundary.
        EXPECT_EQ(message.plainText, expected);
        EXPECT_EQ(message.htmlText, expected);
    }
}

}  // namespace
}  // namespace tallyhive::platform

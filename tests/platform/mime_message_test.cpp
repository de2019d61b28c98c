#include "platform/mime/mime_message.h"
#include "support/message_corpus.h"
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
    std::vector<EmailRecord> results(8);
    std::vector<std::thread> threads;
    for (EmailRecord& result : results)
        threads.emplace_back([&raw, &result] { result = messageFromBytes(raw, arrival); });
    for (std::thread& thread : threads)
        thread.join();
    for (const EmailRecord& result : results)
        EXPECT_EQ(result.s_Subject, QString::fromUtf8("€"));
}

// What one conversion took: CPU seconds of this thread, so that other work on
// the machine does not count, and the rise of the resident peak.
struct Cost {
    double cpuSeconds;
    qint64 extraBytes;
};

Cost convert(const QByteArray& raw, EmailRecord& message)
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

using tallyhive::testing::CorpusMessage;
using tallyhive::testing::corpus;

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
    EmailRecord message;
    expectCheap(convert(corpusBytes(expected.file), message));
    EXPECT_FALSE(message.keptAsRawText);

    EXPECT_EQ(message.s_From, QString::fromUtf8(expected.from));
    EXPECT_EQ(message.s_FromName, QString::fromUtf8(expected.fromName));
    EXPECT_EQ(message.s_FromAddress, QString::fromUtf8(expected.fromAddress));
    EXPECT_EQ(message.s_Subject, QString::fromUtf8(expected.subject));
    const QDateTime date = expected.dateUtc ? QDateTime::fromString(QString::fromLatin1(expected.dateUtc), Qt::ISODate)
                                            : arrival;
    EXPECT_EQ(message.receivedAt.toUTC(), date.toUTC());
    EXPECT_EQ(message.receivedAt.timeSpec(), Qt::LocalTime);
    EXPECT_EQ(message.s_PlainText, QString::fromUtf8(expected.plainText));
    EXPECT_EQ(message.s_HTMLText, QString::fromUtf8(expected.htmlText));
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
        EmailRecord message;
        expectCheap(convert(in.readAll(), message));
        EXPECT_TRUE(message.receivedAt.isValid());
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
    const auto tinyPartsUnder = [](QByteArrayView boundary) {
        return "From: a@example.com\r\nSubject: nested\r\nContent-Type: multipart/mixed; " + boundary.toByteArray() + "\r\n\r\n"
            + QByteArray("--p\r\nContent-Type: text/plain\r\n\r\nx\r\n").repeated(30000) + "--p--\r\n";
    };
    const QByteArray tinyParts = tinyPartsUnder("boundary=p");
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
        // GMime reads a boundary however it is written.
        {"the same under boundary*0=\"p\"", tinyPartsUnder("boundary*0=\"p\""), nullptr},
        {"the same under a boundary folded before its =", tinyPartsUnder("boundary\r\n =p"), nullptr},
        // Only a Content-Type makes a part's text the headers of a message.
        {"an attachment of lines like headers, described as a message",
         "From: a@example.com\r\nSubject: nested\r\nContent-Type: multipart/mixed; boundary=p\r\n\r\n--p\r\n\r\ninner\r\n"
         "--p\r\nContent-Type: text/csv\r\nContent-Description: message log\r\n\r\n"
             + QByteArray("12:00:01 a, b; c@d\r\n").repeated(10000) + "--p--\r\n",
         "inner"},
        // Only a line that begins with two dashes can be a boundary.
        {"a part of lines with dashes inside",
         "From: a@example.com\r\nSubject: nested\r\nContent-Type: multipart/mixed; boundary=p\r\n\r\n--p\r\n\r\ninner\r\n"
         "--p\r\nContent-Type: text/plain\r\n\r\n"
             + QByteArray("12:00 -- 13:00 - review\r\n\r\n").repeated(5000) + "--p--\r\n",
         "inner"},
        // GMime lists no part under a boundary this long; looking for lost parts must stay cheap.
        {"a boundary of 100,000 repeated bytes", longBoundary, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shape);
        EmailRecord message;
        expectCheap(convert(c.raw, message));
        EXPECT_EQ(message.keptAsRawText, c.plainText == nullptr);
        if (c.plainText == nullptr) {
            EXPECT_EQ(message.s_PlainText, QString::fromLatin1(c.raw).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
            EXPECT_TRUE(message.s_Subject.isEmpty());
            EXPECT_EQ(message.receivedAt, arrival.toLocalTime());
        } else {
            EXPECT_EQ(message.s_PlainText, QString::fromUtf8(c.plainText));
            EXPECT_EQ(message.s_Subject, QStringLiteral("nested"));
        }
    }
}

TEST(UnparsableMessage, KeepsItsTextAsThePlainBodyAndTheArrivalDate)
{
    for (const QByteArray& raw : {QByteArray(), QByteArray("\r\n"), QByteArray("no headers here\r\nat all"),
                                  QByteArray("\x01\x02\xff\xfe\x00junk\x80\x9d", 11)}) {
        const EmailRecord message = messageFromBytes(raw, arrival);
        EXPECT_TRUE(message.s_From.isEmpty());
        EXPECT_TRUE(message.s_Subject.isEmpty());
        EXPECT_TRUE(message.s_HTMLText.isEmpty());
        EXPECT_EQ(message.receivedAt, arrival.toLocalTime());
        EXPECT_EQ(message.s_PlainText.isEmpty(), raw.trimmed().isEmpty()) << raw.toHex().constData();
    }
    EXPECT_EQ(messageFromBytes(QByteArray("caf\xe9 \x80", 6), arrival).s_PlainText, QString::fromUtf8("café €"));
}

// To, Cc, the Message-ID, the attached files' names (decoded, also inside an
// attached message) and the size; empty where the message has none.
TEST(AuditFields, AreReadAsAnotherParserReadsThemAndEmptyWhereMissing)
{
    const QByteArray full =
        "From: a@example.org\r\nTo: =?UTF-8?B?SsO8cmdlbg==?= <j@example.org>, b@example.org\r\n"
        "Cc: Team:c@example.org, d@example.org;\r\nMessage-ID:\r\n <CA+x=y@mail.example>\r\nSubject: s\r\n"
        "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b1\r\n\r\n"
        "--b1\r\nContent-Type: text/plain\r\n\r\nbody\r\n"
        "--b1\r\nContent-Type: application/pdf\r\nContent-Disposition: attachment; filename*=UTF-8''%C3%9Cbersicht.pdf\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\nAAAA\r\n"
        "--b1\r\nContent-Type: image/png; name=\"=?ISO-8859-1?Q?K=E4se.png?=\"\r\n\r\nx\r\n"
        "--b1\r\nContent-Type: message/rfc822\r\n\r\nSubject: inner\r\nContent-Type: multipart/mixed; boundary=b2\r\n\r\n"
        "--b2\r\nContent-Type: text/plain\r\n\r\ninner body\r\n"
        "--b2\r\nContent-Type: text/csv\r\nContent-Disposition: attachment; filename=\"list.csv\"\r\n\r\na,b\r\n--b2--\r\n"
        "--b1--\r\n";
    const EmailRecord withAll = messageFromBytes(full, arrival);
    EXPECT_EQ(withAll.to, QString::fromUtf8("Jürgen <j@example.org>, b@example.org"));
    EXPECT_EQ(withAll.cc, QStringLiteral("Team:c@example.org, d@example.org;"));
    EXPECT_EQ(withAll.messageId, QStringLiteral("<CA+x=y@mail.example>"));
    EXPECT_EQ(withAll.attachments, QString::fromUtf8("Übersicht.pdf; Käse.png; list.csv"));
    EXPECT_EQ(withAll.size, full.size());
    EXPECT_EQ(withAll.s_PlainText, QStringLiteral("body"));

    const QByteArray bare = "From: a@example.org\r\nSubject: s\r\n\r\nbody\r\n";
    const EmailRecord withNone = messageFromBytes(bare, arrival);
    EXPECT_EQ(withNone.to + withNone.cc + withNone.messageId + withNone.attachments, QString());
    EXPECT_EQ(withNone.size, bare.size());
}

TEST(MessageDate, IsNeverInvalid)
{
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    for (const QByteArray& raw : {QByteArray("Subject: no date\r\n\r\nbody\r\n"), QByteArray()}) {
        const QDateTime date = messageFromBytes(raw, QDateTime()).receivedAt;
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
        {"\"\" <>", "", ""},
        {"\"Mail \\\"Delivery\\\" Sys\\\\tem\" <>", "Mail \"Delivery\" Sys\\tem", ""},
    };
    for (const Case& c : cases) {
        const EmailRecord message =
            messageFromBytes(QByteArray("From: ") + c.header + "\r\nSubject: s\r\n\r\nbody\r\n", arrival);
        EXPECT_EQ(message.s_FromName, QString::fromUtf8(c.fromName)) << c.header;
        EXPECT_EQ(message.s_FromAddress, QString::fromUtf8(c.fromAddress)) << c.header;
        EXPECT_EQ(message.s_PlainText, QStringLiteral("body\n")) << c.header;
    }
}

// The plain body is the first text meant to be read, whatever its part calls itself.
TEST(Body, IsTheFirstTextMeantToBeRead)
{
    struct Case {
        const char* why;
        QByteArray afterFrom;
        const char* plainText;
    };
    const Case cases[] = {
        {"an attachment is no body",
         "Content-Type: text/plain; name=\"a.txt\"\r\nContent-Disposition: attachment; filename=\"a.txt\"\r\n\r\nattached\r\n", ""},
        {"text that only names a file", "Content-Type: text/plain; name=\"note.txt\"\r\n\r\nnamed\r\n", "named\n"},
        {"inline text with a file name",
         "Content-Type: text/plain; name=\"note.txt\"\r\nContent-Disposition: inline; filename=\"note.txt\"\r\n\r\nshown inline\r\n",
         "shown inline\n"},
        {"an attached multipart keeps its texts",
         "Content-Type: multipart/mixed; boundary=o\r\n\r\n--o\r\n"
         "Content-Type: multipart/alternative; boundary=i\r\nContent-Disposition: attachment\r\n\r\n"
         "--i\r\nContent-Type: text/plain\r\n\r\nattached\r\n--i--\r\n"
         "--o\r\nContent-Type: text/plain\r\n\r\nthe body\r\n--o--\r\n",
         "the body"},
        {"a part without headers or blank line",
         "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\nstraight after the boundary\r\n--b--\r\n",
         "straight after the boundary"},
        {"a real octet stream is not text", "Content-Type: application/octet-stream\r\n\r\ndata\r\n", ""},
        // Content types that cannot be read are read as plain text.
        {";;garbage", "Content-Type: ;;garbage\r\n\r\nGr\xc3\xbc\xc3\x9f""e\r\n", "Grüße\n"},
        {"text", "Content-Type: text\r\n\r\nGr\xc3\xbc\xc3\x9f""e\r\n", "Grüße\n"},
        {"/", "Content-Type: /\r\n\r\nGr\xc3\xbc\xc3\x9f""e\r\n", "Grüße\n"},
        {"charset=utf-8", "Content-Type: charset=utf-8\r\n\r\nGr\xc3\xbc\xc3\x9f""e\r\n", "Grüße\n"},
        {"text/; charset=utf-8", "Content-Type: text/; charset=utf-8\r\n\r\nGr\xc3\xbc\xc3\x9f""e\r\n", "Grüße\n"},
    };
    for (const Case& c : cases) {
        const EmailRecord message = messageFromBytes("From: a@example.com\r\n" + c.afterFrom, arrival);
        EXPECT_EQ(message.s_PlainText, QString::fromUtf8(c.plainText)) << c.why;
        EXPECT_TRUE(message.s_HTMLText.isEmpty()) << c.why;
    }
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
    EXPECT_EQ(messageFromBytes(raw, arrival).receivedAt.toUTC(), QDateTime(QDate(2020, 2, 3), QTime(9, 30, 15), Qt::UTC));
}

TEST(NulBytes, NeverCutAHeaderOrABody)
{
    static const char bytes[] = "From: Jo\0e <joe@example.com>\r\nSubject: NUL\0here\r\n"
                                "Content-Type: multipart/alternative; boundary=b\r\n\r\n"
                                "--b\r\nContent-Type: text/plain\r\n\r\nbody\0after\r\n"
                                "--b\r\nContent-Type: text/html\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
                                "<p>a=00b</p>\r\n--b--\r\n";
    const QByteArray raw(bytes, sizeof bytes - 1);
    const EmailRecord message = messageFromBytes(raw, arrival);
    EXPECT_EQ(message.s_Subject, fromLiteral(u"NUL\u0000here"));
    EXPECT_EQ(message.s_From, fromLiteral(u"Jo\u0000e <joe@example.com>"));
    EXPECT_EQ(message.s_FromName, QString::fromUtf8("Jo\uFFFDe"));  // the address parser reads C strings
    EXPECT_EQ(message.s_FromAddress, QStringLiteral("joe@example.com"));
    EXPECT_EQ(message.s_PlainText, fromLiteral(u"body\u0000after"));
    EXPECT_EQ(message.s_HTMLText, fromLiteral(u"<p>a\u0000b</p>"));
}

TEST(LineEnds, LoneCarriageReturnsEndLinesButCrCrLfIsOneLineEnd)
{
    const EmailRecord cr = messageFromBytes("From: a@example.com\rSubject: cr\r\rbody\rmore", arrival);
    EXPECT_EQ(cr.s_FromAddress, QStringLiteral("a@example.com"));
    EXPECT_EQ(cr.s_Subject, QStringLiteral("cr"));
    EXPECT_EQ(cr.s_PlainText, QStringLiteral("body\nmore"));

    const EmailRecord crcrlf = messageFromBytes("Subject: doubled\r\r\nFrom: a@example.com\r\r\n\r\nbody\r\r\n", arrival);
    EXPECT_EQ(crcrlf.s_Subject, QStringLiteral("doubled"));
    EXPECT_EQ(crcrlf.s_FromAddress, QStringLiteral("a@example.com"));
    EXPECT_EQ(crcrlf.s_PlainText, QStringLiteral("body\n\n"));
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

    const EmailRecord message = messageFromBytes(raw, arrival);
    const QString decodedLine = QString::fromUtf8("Zeile mit Umlaut ü und einem langen Text, der die Zeile füllt.\n");
    ASSERT_EQ(message.s_PlainText.size(), qsizetype(lines) * decodedLine.size());
    EXPECT_TRUE(message.s_PlainText.text().endsWith(decodedLine));
    EXPECT_EQ(message.s_Subject, QStringLiteral("big"));
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
        const EmailRecord message = messageFromBytes(raw, arrival);
        EXPECT_EQ(message.s_Subject, QStringLiteral("big"));
        // The line break before the boundary belongs to the boundary.
        EXPECT_EQ(message.s_PlainText, expected);
        EXPECT_EQ(message.s_HTMLText, expected);
    }
}

}  // namespace
}  // namespace tallyhive::platform

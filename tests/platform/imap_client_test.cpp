#include "imap_transcript.h"
#include "support/said.h"

#include "platform/imap/imap_client.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace tallyhive::platform;
using tallyhive::testing::RecordingNotifications;
using tallyhive::testing::TranscriptTransport;

namespace {

const QByteArray kGreeting = "* OK IMAP ready\r\n";
const QByteArray kMessage = "From: Ann <ann@example.org>\r\nSubject: Hello\r\nDate: Tue, 19 Mar 2024 10:00:00 +0000\r\n\r\nBody text\r\n";

QByteArray fetchReply(int number, const QByteArray& body, const QByteArray& tag)
{
    return "* " + QByteArray::number(number) + " FETCH (INTERNALDATE \"19-Mar-2024 11:30:00 +0100\" BODY[] {"
        + QByteArray::number(body.size()) + "}\r\n" + body + ")\r\n" + tag + " OK Fetch completed.\r\n";
}

class ImapClientTest : public ::testing::Test {
protected:
    void SetUp() override { makeClient(400); }

    // A new client on a new wire that gives up on a silent server after readTimeoutMs.
    void makeClient(int readTimeoutMs)
    {
        auto transport = std::make_unique<TranscriptTransport>();
        wire = transport.get();
        ImapOptions options;
        options.readTimeoutMs = readTimeoutMs;
        client = std::make_unique<ImapClient>(std::move(transport), options);
        client->setNotifications(&events);
    }

    // Connected and logged in; the next tag is A2.
    void signIn()
    {
        wire->server(kGreeting).client("A1 LOGIN \"ann\" \"pw\"\r\n").server("A1 OK Logged in\r\n");
        ASSERT_TRUE(said(client->connect({QStringLiteral("imap.example.org")})).ok());
        ASSERT_TRUE(said(client->login(QStringLiteral("ann"), QStringLiteral("pw"))).ok());
    }

    TranscriptTransport* wire = nullptr;
    std::unique_ptr<ImapClient> client;
    tallyhive::testing::Said said;
    RecordingNotifications events;
};

TEST_F(ImapClientTest, ConnectAcceptsOkAndPreauthGreetingsOnly)
{
    wire->server(kGreeting);
    EXPECT_TRUE(said(client->connect({QStringLiteral("imap.example.org")})).ok());
    EXPECT_EQ(wire->openedWith, QStringLiteral("imap.example.org:993"));

    wire->server("* PREAUTH welcome back\r\n");
    EXPECT_TRUE(said(client->connect({QStringLiteral("h")})).ok());

    wire->server("* BYE too many connections\r\n");
    EXPECT_FALSE(said(client->connect({QStringLiteral("h")})).ok());
    EXPECT_TRUE(said.text.contains(QStringLiteral("too many connections")));
    EXPECT_FALSE(said(client->sendRawCommand(QStringLiteral("NOOP"))).ok());

    wire->server("HTTP/1.1 400 Bad Request\r\n");
    EXPECT_FALSE(said(client->connect({QStringLiteral("h")})).ok());

    wire->openSucceeds = false;
    EXPECT_FALSE(said(client->connect({QStringLiteral("h")})).ok());
    EXPECT_TRUE(said.text.startsWith(QStringLiteral("connect to h port 993 failed")));
}

TEST_F(ImapClientTest, RawCommandReturnsTheReplyWhateverItsStatus)
{
    wire->server(kGreeting)
        .client("A1 ID (\"GUID\" \"1\")\r\n")
        .server("* ID (\"name\" \"Test\")\r\nA1 OK ID completed.\r\n")
        .client("A2 ID (\"GUID\" \"1\")\r\n")
        .server("A2 BAD Unknown command\r\n");
    ASSERT_TRUE(said(client->connect({QStringLiteral("h")})).ok());
    EXPECT_EQ(said(client->sendRawCommand(QStringLiteral("ID (\"GUID\" \"1\")"))).value,
              QStringLiteral("* ID (\"name\" \"Test\")\r\nA1 OK ID completed.\r\n"));
    // A refusal is an answer too (servers need not know ID).
    EXPECT_EQ(said(client->sendRawCommand(QStringLiteral("ID (\"GUID\" \"1\")"))).value, QStringLiteral("A2 BAD Unknown command\r\n"));
    EXPECT_TRUE(said.text.contains(QStringLiteral("A2 BAD Unknown command")));
    // A line break would smuggle a second command onto the wire.
    EXPECT_FALSE(said(client->sendRawCommand(QStringLiteral("NOOP\r\nA9 DELETE INBOX"))).ok());
    EXPECT_FALSE(wire->written.contains("DELETE"));
}

TEST_F(ImapClientTest, LoginQuotesPlainCredentialsAndSendsOthersAsLiterals)
{
    const QString password = QStringLiteral("pä\"ss\\wörd");
    const QByteArray passwordBytes = password.toUtf8();
    wire->server(kGreeting)
        .client("A1 LOGIN \"ann@example.org\" {" + QByteArray::number(passwordBytes.size()) + "}\r\n")
        .server("+ Ready for literal data\r\n")
        .client(passwordBytes + "\r\n")
        .server("A1 OK Logged in\r\n")
        .client("A2 LOGIN {5}\r\n")
        .server("+ go\r\n")
        .client("j\xc3\xb6rg {3}\r\n")
        .server("+ go\r\n")
        .client("a\nb\r\n")
        .server("A2 NO [AUTHENTICATIONFAILED] Authentication failed.\r\n");
    ASSERT_TRUE(said(client->connect({QStringLiteral("h")})).ok());
    EXPECT_TRUE(said(client->login(QStringLiteral("ann@example.org"), password)).ok());
    EXPECT_FALSE(said(client->login(QStringLiteral("jörg"), QStringLiteral("a\nb"))).ok());
    EXPECT_TRUE(said.text.contains(QStringLiteral("AUTHENTICATIONFAILED")));
}

TEST_F(ImapClientTest, RefusedLiteralStopsTheLoginBeforeThePasswordIsSent)
{
    wire->server(kGreeting).client("A1 LOGIN \"ann\" {3}\r\n").server("A1 NO Literals not accepted here\r\n");
    ASSERT_TRUE(said(client->connect({QStringLiteral("h")})).ok());
    EXPECT_FALSE(said(client->login(QStringLiteral("ann"), QStringLiteral("\"x\""))).ok());
    EXPECT_FALSE(wire->written.contains("\"x\"\r\n"));
}

TEST_F(ImapClientTest, ErrorTextNeverHoldsThePasswordEvenWhenTheServerEchoesIt)
{
    const QString password = QStringLiteral("Tr0ub4dor&3");
    wire->server(kGreeting)
        .client("A1 LOGIN \"ann\" \"Tr0ub4dor&3\"\r\n")
        .server("* BAD you sent Tr0ub4dor&3\r\nA1 NO Invalid: LOGIN \"ann\" \"Tr0ub4dor&3\"\r\n")
        .client("A2 LOGIN \"ann\" {7}\r\n")
        .server("+ go\r\n")
        .client("se\"cr\\t\r\n")
        .server("A2 BAD Error in command LOGIN \"ann\" \"se\\\"cr\\\\t\" and se\"cr\\t\r\n");
    ASSERT_TRUE(said(client->connect({QStringLiteral("h")})).ok());
    EXPECT_FALSE(said(client->login(QStringLiteral("ann"), password)).ok());
    EXPECT_FALSE(said.text.contains(password)) << said.text.toStdString();
    EXPECT_TRUE(said.text.contains(QStringLiteral("A1 NO Invalid")));

    const QString awkward = QStringLiteral("se\"cr\\t");
    EXPECT_FALSE(said(client->login(QStringLiteral("ann"), awkward)).ok());
    const QString text = said.text;
    EXPECT_FALSE(text.contains(awkward)) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("se\\\"cr\\\\t"))) << text.toStdString();
}

TEST_F(ImapClientTest, SelectCountsFromExistsAndEncodesTheName)
{
    signIn();
    wire->client("A2 SELECT \"INBOX\"\r\n")
        .server("* FLAGS (\\Seen)\r\n* 12 EXISTS\r\n* 0 RECENT\r\nA2 OK [READ-WRITE] Select completed.\r\n")
        .client("A3 SELECT \"Entw&APw-rfe\"\r\n")
        .server("* 0 EXISTS\r\nA3 OK Select completed.\r\n")
        .client("A4 SELECT \"Nowhere\"\r\n")
        .server("A4 NO Mailbox doesn't exist: Nowhere\r\n");
    EXPECT_TRUE(said(client->selectMailbox(QStringLiteral("INBOX"))).ok());
    EXPECT_EQ(client->numMessages(), 12);
    EXPECT_TRUE(said(client->selectMailbox(QStringLiteral("Entwürfe"))).ok());
    EXPECT_EQ(client->numMessages(), 0);
    EXPECT_FALSE(said(client->selectMailbox(QStringLiteral("Nowhere"))).ok());
    EXPECT_EQ(client->numMessages(), 0);
    EXPECT_TRUE(said.text.contains(QStringLiteral("doesn't exist")));
}

TEST_F(ImapClientTest, ListDecodesQuotedAtomAndLiteralNames)
{
    signIn();
    wire->client("A2 LIST \"\" \"*\"\r\n")
        .server("* LIST (\\HasNoChildren) \"/\" INBOX\r\n"
                "* LIST (\\HasNoChildren \\Sent) \"/\" \"Sent Items\"\r\n"
                "* LIST () \"/\" {11}\r\nSay \"hi\" \\o\r\n"
                "* LIST () NIL \"Entw&APw-rfe\"\r\n"
                "* STATUS INBOX (MESSAGES 3)\r\n"
                // Names no decoding and encoding give back: each is opened by the bytes listed.
                "* LIST () \"/\" \"bad&-utf7&ZZZ\"\r\n"
                "* LIST () \"/\" {11}\r\ntab\there\x01\xe9\xff\r\n"
                "* LIST () \"/\" \"&AGE-\"\r\n* LIST () \"/\" \"&-AGE-\"\r\n* LIST () \"/\" \"&2AA-\"\r\n"
                // Formatting characters would turn the shown name around.
                "* LIST () \"/\" \"cod&IC4-fdp.exe\"\r\n* LIST () \"/\" \"a\xe2\x80\xae" "b\"\r\n"
                "A2 OK List completed.\r\n")
        .client("A3 SELECT \"bad&-utf7&ZZZ\"\r\n").server("A3 OK\r\n")
        .client("A4 SELECT {11}\r\n").server("+ go\r\n").client("tab\there\x01\xe9\xff\r\n").server("A4 OK\r\n")
        .client("A5 SELECT \"&-AGE-\"\r\n").server("A5 OK\r\n")
        .client("A6 SELECT \"&2AA-\"\r\n").server("A6 OK\r\n")
        .client("A7 LIST \"\" \"*\"\r\n")
        .server("A7 OK List completed.\r\n")
        .client("A8 LIST \"\" \"*\"\r\n")
        .server("A8 BAD no\r\n");
    const auto names = said(client->listMailboxes(QString(), QStringLiteral("*")));
    ASSERT_TRUE(names.ok());
    EXPECT_EQ(names.value, (QStringList{QStringLiteral("INBOX"), QStringLiteral("Sent Items"), QStringLiteral("Say \"hi\" \\o"),
                                   QStringLiteral("Entwürfe"), QStringLiteral("bad&-utf7&ZZZ"),
                                   QStringLiteral("tab\\u0009here\\u0001\\xE9\\xFF"), QStringLiteral("&AGE-"),
                                   QStringLiteral("&AGE- (2)"), QStringLiteral("\\uD800"), QStringLiteral("cod\\u202Efdp.exe"),
                                   QStringLiteral("a\\u202Eb")}));
    for (const int at : {4, 5, 7, 8})
        EXPECT_TRUE(said(client->selectMailbox(names.value[at])).ok()) << names.value[at].toStdString();
    const auto none = said(client->listMailboxes(QString(), QStringLiteral("*")));
    ASSERT_TRUE(none.ok());
    EXPECT_TRUE(none.value.isEmpty());
    EXPECT_FALSE(said(client->listMailboxes(QString(), QStringLiteral("*"))).ok());
}

TEST_F(ImapClientTest, ListEntriesCarryTheDelimiterAndAttributes)
{
    signIn();
    wire->client("A2 LIST \"\" \"*\"\r\n")
        .server("* LIST (\\NoSelect \\HasChildren) \"/\" Projects\r\n"
                "* LIST (\\HasNoChildren) \"/\" Projects/2026\r\n"
                "* LIST (\\NonExistent \\HasChildren) \".\" Gone\r\n"
                "* LIST (\\HasNoChildren \\Archive) \"\\\\\" \"quote \\\" and \\\\ backslash\"\r\n"
                "* LIST (\\Trash) NIL {4}\r\na&-b (\"CHILDINFO\" (\"SUBSCRIBED\"))\r\n"
                "* LIST (\\Sent) \"/\"\r\n"
                "A2 OK List completed.\r\n");
    const auto entries = said(client->listMailboxEntries(QString(), QStringLiteral("*")));
    ASSERT_TRUE(entries.ok());
    ASSERT_EQ(entries.value.size(), 5u);
    const MailboxEntry& parent = entries.value[0];
    EXPECT_EQ(parent.name, QStringLiteral("Projects"));
    EXPECT_EQ(parent.delimiter, QStringLiteral("/"));
    EXPECT_EQ(parent.attributes, QStringList({"\\NoSelect", "\\HasChildren"}));
    EXPECT_FALSE(parent.selectable());
    EXPECT_TRUE(entries.value[1].selectable());
    EXPECT_EQ(entries.value[1].name, QStringLiteral("Projects/2026"));
    EXPECT_FALSE(entries.value[2].selectable());
    EXPECT_EQ(entries.value[2].delimiter, QStringLiteral("."));
    EXPECT_EQ(entries.value[3].name, QStringLiteral("quote \" and \\ backslash"));
    EXPECT_EQ(entries.value[3].delimiter, QStringLiteral("\\"));
    EXPECT_TRUE(entries.value[3].has(QStringLiteral("\\archive")));
    EXPECT_EQ(entries.value[4].name, QStringLiteral("a&b"));
    EXPECT_EQ(entries.value[4].delimiter, QString());
    EXPECT_EQ(client->specialUseMailbox(QStringLiteral("\\Trash")), QStringLiteral("a&b"));
    EXPECT_EQ(client->specialUseMailbox(QStringLiteral("\\Sent")), QString());  // its reply had no name
}

TEST_F(ImapClientTest, FetchPeeksAndReturnsTheBytesAndArrivalDate)
{
    signIn();
    wire->client("A2 FETCH 3 (INTERNALDATE BODY.PEEK[])\r\n")
        .server("* 1 FETCH (FLAGS (\\Seen))\r\n* 14 EXISTS\r\n* 2 EXPUNGE\r\n" + fetchReply(3, kMessage, "A2"));
    const auto raw = said(client->fetchRaw(3));
    ASSERT_TRUE(raw.ok());
    EXPECT_EQ(raw.value.bytes, kMessage);
    EXPECT_EQ(raw.value.internalDate.toUTC(), QDateTime(QDate(2024, 3, 19), QTime(10, 30), Qt::UTC));
    EXPECT_EQ(client->numMessages(), 13);  // 14 announced, one expunged
    EXPECT_TRUE(said.text.contains(QStringLiteral("A2 OK Fetch completed.")));
}

TEST_F(ImapClientTest, FetchOfAMissingMessageFailsWithTheServersReply)
{
    signIn();
    wire->client("A2 FETCH 9 (INTERNALDATE BODY.PEEK[])\r\n")
        .server("A2 BAD Error in IMAP command FETCH: Invalid messageset\r\n")
        .client("A3 FETCH 8 (INTERNALDATE BODY.PEEK[])\r\n")
        .server("A3 OK Fetch completed.\r\n");
    EXPECT_FALSE(said(client->fetchRaw(9)).ok());
    EXPECT_TRUE(said.text.contains(QStringLiteral("Invalid messageset")));
    EXPECT_FALSE(said(client->fetchRaw(8)).ok());
    EXPECT_TRUE(said.text.contains(QStringLiteral("no message")));
}

TEST_F(ImapClientTest, PercentDoneRisesFromZeroToHundredInAtMostAHundredSteps)
{
    signIn();
    const QByteArray body = kMessage.repeated(60);
    wire->client("A2 FETCH 1 (INTERNALDATE BODY.PEEK[])\r\n").server(fetchReply(1, body, "A2"), 7);
    ASSERT_TRUE(said(client->fetchRaw(1)).ok());
    ASSERT_GE(events.percents.size(), 3u);
    EXPECT_LE(events.percents.size(), 101u);
    EXPECT_EQ(events.percents.front(), 0);
    EXPECT_EQ(events.percents.back(), 100);
    EXPECT_TRUE(std::is_sorted(events.percents.begin(), events.percents.end()));
    EXPECT_EQ(std::adjacent_find(events.percents.begin(), events.percents.end()), events.percents.end());
}

TEST_F(ImapClientTest, AbortWhileBytesFlowCompletesTheMessage)
{
    signIn();
    const QByteArray body = kMessage.repeated(40);
    wire->client("A2 FETCH 7 (INTERNALDATE BODY.PEEK[])\r\n").server(fetchReply(7, body, "A2"), 50);
    events.onPercent = [this](int percent) {
        if (percent >= 10)
            events.abort = true;
    };
    const auto raw = said(client->fetchRaw(7));
    ASSERT_TRUE(raw.ok());
    EXPECT_EQ(raw.value.bytes, body);
}

TEST_F(ImapClientTest, AbortDuringAStallAbandonsTheCallAfterTheGrace)
{
    makeClient(20000);
    signIn();
    const QByteArray reply = fetchReply(7, kMessage, "A2");
    wire->client("A2 FETCH 7 (INTERNALDATE BODY.PEEK[])\r\n").server(reply.left(reply.size() / 2)).stall();
    events.onPercent = [this](int percent) {
        if (percent > 0)
            events.abort = true;
    };
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(said(client->fetchRaw(7)).ok());
    EXPECT_GE(clock.elapsed(), ImapClient::kAbortGraceMs - 50);
    EXPECT_LT(clock.elapsed(), ImapClient::kAbortGraceMs + 1500);
    EXPECT_TRUE(said.text.contains(QStringLiteral("abandoned")));
    EXPECT_TRUE(wire->closed);

    // The stream is out of step now: later calls fail at once.
    events.abort = false;
    clock.restart();
    EXPECT_FALSE(said(client->fetchRaw(8)).ok());
    EXPECT_FALSE(said(client->selectMailbox(QStringLiteral("INBOX"))).ok());
    EXPECT_LT(clock.elapsed(), 100);
    EXPECT_TRUE(said.text.contains(QStringLiteral("unusable")));
}

TEST_F(ImapClientTest, SilentServerFailsTheCallAfterTheReadTimeoutWhilePollingForAbort)
{
    signIn();
    wire->client("A2 SELECT \"INBOX\"\r\n").stall();
    const int pollsBefore = events.polls;
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(said(client->selectMailbox(QStringLiteral("INBOX"))).ok());
    EXPECT_GE(clock.elapsed(), 380);
    EXPECT_TRUE(said.text.contains(QStringLiteral("no reply from the server for 400 ms")));
    // At least one poll every 50 ms.
    EXPECT_GE(events.polls - pollsBefore, 8);
}

TEST_F(ImapClientTest, DroppedConnectionMidLiteralFailsThisAndLaterCalls)
{
    signIn();
    const QByteArray reply = fetchReply(2, kMessage, "A2");
    wire->client("A2 FETCH 2 (INTERNALDATE BODY.PEEK[])\r\n").server(reply.left(60)).drop();
    EXPECT_FALSE(said(client->fetchRaw(2)).ok());
    EXPECT_TRUE(said.text.contains(QStringLiteral("connection lost")));
    EXPECT_FALSE(said(client->fetchRaw(3)).ok());
    EXPECT_TRUE(said.text.contains(QStringLiteral("unusable")));
}

TEST_F(ImapClientTest, HostileRepliesFailCleanly)
{
    signIn();
    wire->client("A2 FETCH 1 (INTERNALDATE BODY.PEEK[])\r\n").server("* 1 FETCH (BODY[] {4000000000}\r\nabc");
    EXPECT_FALSE(said(client->fetchRaw(1)).ok());
    EXPECT_TRUE(said.text.contains(QStringLiteral("limit")));

    wire->server(kGreeting).client("A1 NOOP\r\n").server("Z9 OK not yours\r\n");
    ASSERT_TRUE(said(client->connect({QStringLiteral("h")})).ok());
    EXPECT_FALSE(said(client->sendRawCommand(QStringLiteral("NOOP"))).ok());
    EXPECT_TRUE(said.text.contains(QStringLiteral("foreign tag")));
}

TEST_F(ImapClientTest, DisconnectFromInsideAnAbortPollEndsTheRunningCall)
{
    signIn();
    wire->client("A2 FETCH 4 (INTERNALDATE BODY.PEEK[])\r\n").stall();
    events.onPoll = [this] {
        events.onPoll = nullptr;
        client->disconnect();
        EXPECT_FALSE(said(client->selectMailbox(QStringLiteral("INBOX"))).ok());  // refused while busy
    };
    EXPECT_FALSE(said(client->fetchRaw(4)).ok());
    EXPECT_FALSE(said(client->sendRawCommand(QStringLiteral("NOOP"))).ok());
}

TEST_F(ImapClientTest, DisconnectLogsOutAndLaterCallsFailUntilReconnected)
{
    signIn();
    wire->client("A2 LOGOUT\r\n").server("* BYE Logging out\r\nA2 OK Logout completed.\r\n");
    client->disconnect();
    EXPECT_TRUE(wire->closed);
    EXPECT_FALSE(said(client->selectMailbox(QStringLiteral("INBOX"))).ok());
    EXPECT_TRUE(said.text.contains(QStringLiteral("not connected")));
}

}  // namespace

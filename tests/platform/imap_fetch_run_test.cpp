// Fetch runs of the IMAP client against scripted conversations: messages
// read by UID in order, single refusals skipped, a lost connection opened
// again the same way, and the ways a run ends for good.
#include "imap_transcript.h"
#include "support/said.h"

#include "platform/imap/imap_client.h"
#include "platform/imap/imap_fetch_window.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace tallyhive::platform;
using tallyhive::testing::RecordingNotifications;
using tallyhive::testing::TranscriptTransport;

namespace {

QByteArray message(int n)
{
    return "Subject: Message " + QByteArray::number(n) + "\r\n\r\n" + QByteArray("Line of message text.\r\n").repeated(10 * n);
}

QByteArray uidFetch(const QByteArray& tag, int n)
{
    return tag + " UID FETCH " + QByteArray::number(100 + n) + " (UID INTERNALDATE BODY.PEEK[])\r\n";
}

QByteArray bodyReply(const QByteArray& tag, int sequence, int n, QByteArray body = {})
{
    if (body.isEmpty())
        body = message(n);
    return "* " + QByteArray::number(sequence) + " FETCH (UID " + QByteArray::number(100 + n)
        + " INTERNALDATE \"19-Mar-2024 11:30:00 +0100\" BODY[] {" + QByteArray::number(body.size()) + "}\r\n" + body
        + ")\r\n" + tag + " OK Fetch completed.\r\n";
}

QByteArray selectReply(const QByteArray& tag, int count, int validity)
{
    return "* " + QByteArray::number(count) + " EXISTS\r\n* OK [UIDVALIDITY " + QByteArray::number(validity)
        + "] UIDs valid\r\n" + tag + " OK [READ-WRITE] Select completed.\r\n";
}

// UIDs of messages first..last: message n has UID 100 + n. The sizes listed
// are the messages' own unless given.
QByteArray uidList(const QByteArray& tag, int first, int last, qint64 listedSize = 0)
{
    QByteArray reply;
    for (int n = first; n <= last; ++n)
        reply += "* " + QByteArray::number(n) + " FETCH (UID " + QByteArray::number(100 + n) + " RFC822.SIZE "
            + QByteArray::number(listedSize > 0 ? listedSize : message(n).size()) + ")\r\n";
    return reply + tag + " OK Fetch completed.\r\n";
}

// Requests for messages first..last, tags from `tag` on.
QByteArray uidFetches(int tag, int first, int last)
{
    QByteArray requests;
    for (int n = first; n <= last; ++n)
        requests += uidFetch('A' + QByteArray::number(tag++), n);
    return requests;
}

class FetchRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        options.readTimeoutMs = 400;
        options.reconnectDelayMs = 10;
        options.window.requests = 1;  // strictly one at a time unless a test says otherwise
        options.window.messagesPerRequest = 1;
        options.window.mostPerRequest = 0;  // commands as the test writes them; growing has its own test
        makeClient();
    }

    // A new client on a new wire, with the options as they are now.
    void makeClient()
    {
        auto transport = std::make_unique<TranscriptTransport>();
        wire = transport.get();
        client = std::make_unique<ImapClient>(std::move(transport), options);
        client->setNotifications(&events);
    }
    void useWindow(int requests)
    {
        options.window.requests = requests;
        makeClient();
    }

    // The opening of every connection: greeting, ID, sign-in, INBOX with five
    // messages. Tags go on from `tag`.
    void expectOpening(int tag, int validity = 7)
    {
        const QByteArray id = 'A' + QByteArray::number(tag);
        const QByteArray login = 'A' + QByteArray::number(tag + 1);
        const QByteArray select = 'A' + QByteArray::number(tag + 2);
        wire->server("* OK ready\r\n")
            .client(id + " ID (\"GUID\" \"1\")\r\n")
            .server(id + " BAD ID unknown here\r\n")
            .client(login + " LOGIN \"ann\" \"pw\"\r\n")
            .server(login + " OK Logged in\r\n")
            .client(select + " SELECT \"INBOX\"\r\n")
            .server(selectReply(select, 5, validity));
    }

    // Opened, signed in and INBOX selected; the next tag is A4.
    void open()
    {
        expectOpening(1);
        ASSERT_TRUE(said(client->connect({QStringLiteral("imap.example.org")})).ok());
        ASSERT_TRUE(said(client->sendRawCommand(QStringLiteral("ID (\"GUID\" \"1\")"))).ok());
        ASSERT_TRUE(said(client->login(QStringLiteral("ann"), QStringLiteral("pw"))).ok());
        ASSERT_TRUE(said(client->selectMailbox(QStringLiteral("INBOX"))).ok());
    }

    // Runs 1..5; the next tag is A5.
    void begin(qint64 listedSize = 0)
    {
        open();
        wire->client("A4 FETCH 1:5 (UID RFC822.SIZE)\r\n").server(uidList("A4", 1, 5, listedSize));
        ASSERT_TRUE(said(client->beginFetchRun(1, 5)).ok()) << said.text.toStdString();
    }

    void expectMessage(int n)
    {
        const auto fetched = said(client->fetchRunRaw(n));
        ASSERT_EQ(fetched.status, MailStatus::Ok) << n << ' ' << said.text.toStdString();
        EXPECT_EQ(fetched.message.bytes, message(n));
    }

    ImapOptions options;
    TranscriptTransport* wire = nullptr;
    std::unique_ptr<ImapClient> client;
    tallyhive::testing::Said said;
    RecordingNotifications events;
};

TEST_F(FetchRunTest, LearnsTheUidsOnceThenReadsEachMessageByUidUntilTheFolderEnds)
{
    open();
    // Numbers beyond the folder are not asked about: servers refuse such a set.
    wire->client("A4 FETCH 2:5 (UID RFC822.SIZE)\r\n")
        .server(uidList("A4", 2, 5))
        .client(uidFetch("A5", 2))
        .server(bodyReply("A5", 2, 2))
        .client(uidFetch("A6", 3))
        .server("* 9 EXISTS\r\n" + bodyReply("A6", 3, 3));
    ASSERT_TRUE(said(client->beginFetchRun(2, 8)).ok());
    expectMessage(2);
    expectMessage(3);
    EXPECT_TRUE(said.text.contains(QStringLiteral("A6 OK Fetch completed.")));
    EXPECT_EQ(events.percents.back(), 100);

    // Numbers 4 and 5 are skipped by the caller; 6 to 8 were never in the folder.
    const auto beyond = said(client->fetchRunRaw(6));
    EXPECT_EQ(beyond.status, MailStatus::RunEnded);
    EXPECT_TRUE(said.text.contains(QStringLiteral("messages 6 to 8 are not in the folder, which holds 5")));

    // A range wholly beyond the folder (9 messages now) asks the server nothing.
    const QByteArray before = wire->written;
    ASSERT_TRUE(said(client->beginFetchRun(10, 12)).ok());
    EXPECT_EQ(said(client->fetchRunRaw(10)).status, MailStatus::RunEnded);
    EXPECT_EQ(wire->written, before);
}

TEST_F(FetchRunTest, AMessageRefusedOrGoneIsSkippedAndTheRunGoesOn)
{
    begin();
    wire->client(uidFetch("A5", 1))
        .server("A5 NO [UNAVAILABLE] Message too old\r\n")
        .client(uidFetch("A6", 2))
        .server("* 2 EXPUNGE\r\nA6 OK Fetch completed.\r\n")
        .client(uidFetch("A7", 3))
        .server(bodyReply("A7", 2, 3));
    EXPECT_EQ(said(client->fetchRunRaw(1)).status, MailStatus::MessageBad);
    EXPECT_TRUE(said.text.contains(QStringLiteral("Message too old")));
    EXPECT_EQ(said(client->fetchRunRaw(2)).status, MailStatus::MessageBad);
    EXPECT_TRUE(said.text.contains(QStringLiteral("no message")));
    // The expunge moved message 3 to sequence number 2; the run still calls it 3.
    expectMessage(3);
}

TEST_F(FetchRunTest, ALostConnectionIsOpenedAgainTheSameWayAndTheMessageReadAgain)
{
    begin();
    const QByteArray cut = bodyReply("A5", 2, 2);
    wire->client(uidFetch("A5", 2)).server(cut.left(cut.size() / 2)).drop();
    expectOpening(6);
    wire->client(uidFetch("A9", 2)).server(bodyReply("A9", 2, 2)).client(uidFetch("A10", 3)).server(bodyReply("A10", 3, 3));
    expectMessage(2);
    expectMessage(3);
    EXPECT_EQ(events.reconnects, (std::vector<std::pair<int, int>>{{1, 3}}));
    EXPECT_EQ(wire->opens, 2);
}

TEST_F(FetchRunTest, ARenumberedFolderEndsTheRunAfterOneReconnect)
{
    begin();
    wire->client(uidFetch("A5", 1)).drop();
    expectOpening(6, 8);
    const auto fetched = said(client->fetchRunRaw(1));
    EXPECT_EQ(fetched.status, MailStatus::RunEnded);
    EXPECT_TRUE(said.text.contains(QStringLiteral("UIDVALIDITY 7, now 8"))) << said.text.toStdString();
    EXPECT_EQ(events.reconnects.size(), 1u);
}

TEST_F(FetchRunTest, ReconnectingGivesUpAfterThreeAttemptsEachWaitingTwiceAsLong)
{
    options.reconnectDelayMs = 200;
    makeClient();
    begin();
    wire->client(uidFetch("A5", 1)).drop();
    wire->opensToRefuse = 3;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(said(client->fetchRunRaw(1)).status, MailStatus::RunEnded);
    EXPECT_GE(clock.elapsed(), 200 + 400 + 800);
    EXPECT_LT(clock.elapsed(), 2400);  // not 400 + 800 + 1600
    EXPECT_EQ(events.reconnects, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
    const QString text = said.text;
    EXPECT_TRUE(text.contains(QStringLiteral("3 attempts to reconnect failed"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("connection lost"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("pw")));
}

TEST_F(FetchRunTest, StopWhileWaitingToReconnectEndsTheRunAtOnce)
{
    options.reconnectDelayMs = 20000;
    makeClient();
    begin();
    wire->client(uidFetch("A5", 1)).drop();
    events.abort = false;
    QElapsedTimer clock;
    clock.start();
    QElapsedTimer sinceNotice;
    events.onPoll = [&] {
        if (!events.reconnects.empty() && !sinceNotice.isValid())
            sinceNotice.start();
        if (sinceNotice.isValid() && sinceNotice.elapsed() > 100)
            events.abort = true;
    };
    EXPECT_EQ(said(client->fetchRunRaw(1)).status, MailStatus::RunEnded);
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(wire->opens, 1);
    EXPECT_TRUE(said.text.contains(QStringLiteral("stopped while waiting to reconnect")));
}

TEST_F(FetchRunTest, AMessageThatKeepsLosingTheConnectionIsGivenUpAndTheRunGoesOn)
{
    begin();
    int tag = 5;
    for (int loss = 0; loss < ImapClient::kLossesPerMessage; ++loss) {
        const QByteArray fetchTag = 'A' + QByteArray::number(tag);
        wire->client(uidFetch(fetchTag, 1)).server("* 1 FETCH (UID 101 BODY[] {999}\r\nabc").drop();
        expectOpening(tag + 1);
        tag += 4;
    }
    wire->client(uidFetch('A' + QByteArray::number(tag), 2)).server(bodyReply('A' + QByteArray::number(tag), 2, 2));
    EXPECT_EQ(said(client->fetchRunRaw(1)).status, MailStatus::MessageBad);
    EXPECT_TRUE(said.text.contains(QStringLiteral("lost 3 times"))) << said.text.toStdString();
    expectMessage(2);
}

TEST_F(FetchRunTest, AnotherCallOrANewRunEndsTheRun)
{
    begin();
    wire->client("A5 SELECT \"INBOX\"\r\n").server(selectReply("A5", 5, 7));
    ASSERT_TRUE(said(client->selectMailbox(QStringLiteral("INBOX"))).ok());
    EXPECT_EQ(said(client->fetchRunRaw(1)).status, MailStatus::RunEnded);
    EXPECT_TRUE(said.text.contains(QStringLiteral("no fetch run")));
}

TEST_F(FetchRunTest, AWindowAsksAheadAndStillDeliversOneMessageAtATimeInOrder)
{
    useWindow(3);
    begin();
    wire->client(uidFetches(5, 1, 3))
        .server(bodyReply("A5", 1, 1) + bodyReply("A6", 2, 2) + bodyReply("A7", 3, 3))
        .client(uidFetch("A8", 4))
        .client(uidFetch("A9", 5))
        .server(bodyReply("A8", 4, 4) + bodyReply("A9", 5, 5));
    for (int n = 1; n <= 5; ++n)
        expectMessage(n);
}

TEST_F(FetchRunTest, MessagesHadElsewhereAreNeverAskedFor)
{
    useWindow(3);
    begin();
    client->leaveOutOfRun({2, 4});
    wire->client(uidFetch("A5", 1) + uidFetch("A6", 3) + uidFetch("A7", 5))
        .server(bodyReply("A5", 1, 1) + bodyReply("A6", 3, 3) + bodyReply("A7", 5, 5));
    for (int n : {1, 3, 5})
        expectMessage(n);
}

TEST_F(FetchRunTest, TheWindowHoldsNoMoreBytesThanAllowed)
{
    useWindow(16);
    // Listed at 10 MB each: three fit in the window's bytes, a fourth does not.
    begin(10 * 1024 * 1024);
    wire->client(uidFetches(5, 1, 3)).server(bodyReply("A5", 1, 1));
    expectMessage(1);
    EXPECT_EQ(wire->written.count("UID FETCH"), 3);
}

TEST_F(FetchRunTest, SizesListedFarBelowTheBodiesCountAsTheLargestBodyOnceOneHasCome)
{
    options.window.bytes = 3 * 1024 * 1024 / 2;
    useWindow(2);
    begin(100);
    const QByteArray large(1024 * 1024, 'x');
    wire->client(uidFetches(5, 1, 2)).server(bodyReply("A5", 1, 1, large)).server(bodyReply("A6", 2, 2, large));
    ASSERT_EQ(said(client->fetchRunRaw(1)).status, MailStatus::Ok);
    // Message 2, in flight, now counts 1 MB: a third would not fit in 1.5 MB until it has come.
    ASSERT_EQ(said(client->fetchRunRaw(2)).status, MailStatus::Ok);
    EXPECT_EQ(wire->written.count("UID FETCH"), 2);
}

TEST_F(FetchRunTest, ABadToAPipelinedFetchFallsBackToOneAtATime)
{
    useWindow(3);
    begin();
    wire->client(uidFetches(5, 1, 3))
        .server(bodyReply("A5", 1, 1) + "A6 BAD Pipelining not supported\r\nA7 BAD Pipelining not supported\r\n")
        .client(uidFetch("A8", 2))
        .server(bodyReply("A8", 2, 2))
        .client(uidFetch("A9", 3))
        .server(bodyReply("A9", 3, 3))
        .client(uidFetch("A10", 4))
        .server(bodyReply("A10", 4, 4));
    for (int n = 1; n <= 4; ++n)
        expectMessage(n);
    // A BAD to a request sent alone is that message's refusal.
    wire->client(uidFetch("A11", 5)).server("A11 BAD Nope\r\n");
    EXPECT_EQ(said(client->fetchRunRaw(5)).status, MailStatus::MessageBad);
}

TEST_F(FetchRunTest, EndingARunWithRequestsInFlightWaitsForNone)
{
    useWindow(16);
    begin();
    wire->client(uidFetches(5, 1, 5)).server(bodyReply("A5", 1, 1)).stall();
    expectMessage(1);
    QElapsedTimer clock;
    clock.start();
    client->endFetchRun();
    EXPECT_LT(clock.elapsed(), 100);
    EXPECT_TRUE(wire->closed);
    EXPECT_FALSE(said(client->selectMailbox(QStringLiteral("INBOX"))).ok());
    EXPECT_TRUE(said.text.contains(QStringLiteral("connect again")));
}

TEST_F(FetchRunTest, ACutWithAFullWindowResumesWithoutLossOrRepeat)
{
    useWindow(16);
    begin();
    const QByteArray third = bodyReply("A7", 3, 3);
    wire->client(uidFetches(5, 1, 5)).server(bodyReply("A5", 1, 1) + bodyReply("A6", 2, 2) + third.left(third.size() / 2)).drop();
    expectOpening(10);
    wire->client(uidFetches(13, 3, 5)).server(bodyReply("A13", 3, 3) + bodyReply("A14", 4, 4) + bodyReply("A15", 5, 5));
    for (int n = 1; n <= 5; ++n)
        expectMessage(n);
    EXPECT_EQ(events.reconnects.size(), 1u);
}

TEST_F(FetchRunTest, MessagesInARowShareACommandAndOneItLeavesOutIsAskedForAlone)
{
    options.window.messagesPerRequest = 2;
    useWindow(2);
    begin();
    const auto untagged = [](const QByteArray& reply) { return reply.left(reply.indexOf(")\r\nA") + 3); };
    const QByteArray items = " (UID INTERNALDATE BODY.PEEK[])\r\n";
    wire->client("A5 UID FETCH 101:102" + items + "A6 UID FETCH 103:104" + items)
        .server(untagged(bodyReply("A5", 1, 1)) + "A5 NO Some messages could not be FETCHed\r\n")
        .client(uidFetch("A7", 2) + uidFetch("A8", 5))
        .server(untagged(bodyReply("A6", 3, 3)) + bodyReply("A6", 4, 4) + bodyReply("A7", 2, 2) + bodyReply("A8", 5, 5));
    for (int n = 1; n <= 5; ++n)
        expectMessage(n);
}

// A message's data is filed under the oldest unanswered request for its UID,
// whatever command's turn it comes in (Dovecot runs pipelined commands at
// once), and only while that message's data has not come, so no message is
// ever given another's bytes. A server that sends data nobody asked for and
// leaves a message out is asked one at a time for what it left out.
TEST_F(FetchRunTest, AResponseIsFiledUnderTheOldestUnansweredRequestForItsUid)
{
    const auto untagged = [](int n, const QByteArray& body = {}) {
        const QByteArray reply = bodyReply("A0", n, n, body);
        return reply.left(reply.indexOf(")\r\nA") + 3);
    };
    const QByteArray wrong = "Subject: Not this one\r\n\r\nWrong.\r\n";
    const QByteArray noUid = "* 1 FETCH (INTERNALDATE \"19-Mar-2024 11:30:00 +0100\" BODY[] {" + QByteArray::number(wrong.size()) + "}\r\n" + wrong + ")\r\n";
    const struct {
        const char* what;
        QByteArray firstTurn;   // before A5's reply
        QByteArray secondTurn;  // before A6's reply
        QByteArray askedAlone;  // what is asked for again before message 5
        QByteArray lastTurn = {};  // message 5, asked for alone; empty: its one answer
    } cases[] = {
        {"a later command's message before its turn, then again in it", untagged(1) + untagged(3) + untagged(2),
         untagged(3, wrong) + untagged(4), {}},
        {"no UID while several are in flight", noUid + untagged(1) + untagged(2), untagged(3) + untagged(4), {}},
        {"a message answered twice", untagged(1) + untagged(1, wrong) + untagged(2), untagged(3) + untagged(4), {},
         untagged(5) + untagged(5, wrong)},
        {"a UID never asked for, and a message left out", untagged(1) + untagged(9, wrong), untagged(3) + untagged(4),
         uidFetch("A7", 2)},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        options.window.messagesPerRequest = 2;
        useWindow(2);
        begin();
        const QByteArray items = " (UID INTERNALDATE BODY.PEEK[])\r\n";
        wire->client("A5 UID FETCH 101:102" + items + "A6 UID FETCH 103:104" + items)
            .server(row.firstTurn + "A5 OK Fetch completed.\r\n" + row.secondTurn + "A6 OK Fetch completed.\r\n");
        const QByteArray last = row.askedAlone.isEmpty() ? "A7" : "A8";
        if (!row.askedAlone.isEmpty())
            wire->client(row.askedAlone).server(bodyReply("A7", 2, 2));
        wire->client(uidFetch(last, 5)).server((row.lastTurn.isEmpty() ? untagged(5) : row.lastTurn) + last + " OK Fetch completed.\r\n");
        for (int n = 1; n <= 5; ++n)
            expectMessage(n);
    }
}

// A message of a command of several waits for its date as well as its body.
TEST(FetchWindow, AMessageOfSeveralIsWholeOnceItsDateHasComeToo)
{
    ImapFetchWindow window(1, 2, {{1, 101, 100}, {2, 102, 100}}, 7, FetchWindowLimits{.requests = 2, .messagesPerRequest = 2});
    ASSERT_EQ(window.requestMore(1, false, [] { return QByteArray("A1"); }), "A1 UID FETCH 101:102 (UID INTERNALDATE BODY.PEEK[])\r\n");
    const ImapFetchWindow::Request& first = *window.ownerOf(101, true);
    window.noteBody(first, "body");
    window.noteResponseEnd(first);
    EXPECT_FALSE(window.arrivedWhole(1));
    window.noteInternalDate(1, QDateTime::fromSecsSinceEpoch(1700000000));
    window.noteResponseEnd(*window.ownerOf(101));
    EXPECT_TRUE(window.arrivedWhole(1));
    EXPECT_FALSE(window.arrivedWhole(2));
}

// A window whose messages wait to be delivered asks a quarter of its depth
// at a time; one that waits on the link asks at once.
// Drives a window of one message a command, as the client does.
struct WindowDriver {
    ImapFetchWindow window;
    int tag = 0;
    QByteArray requests(qint64 wanted)
    {
        return window.requestMore(wanted, false, [&] { return 'A' + QByteArray::number(++tag); });
    }
    int asked(qint64 wanted) { return requests(wanted).count(" UID FETCH "); }
    void arrive(qint64 n, const QByteArray& body = "body")
    {
        window.noteBody(*window.ownerOf(n), body);
        ImapResponse done;
        done.kind = ImapResponse::Kind::Tagged;
        done.tag = 'A' + QByteArray::number(n);
        done.status = "OK";
        window.settle(done);
    }
};

std::vector<ImapFetchWindow::Entry> entriesOf(qint64 count, qint64 size)
{
    std::vector<ImapFetchWindow::Entry> entries;
    for (qint64 n = 1; n <= count; ++n)
        entries.push_back({n, quint32(n), size});
    return entries;
}

TEST(FetchWindow, AsksInBatchesOnlyWhileMessagesWaitToBeDelivered)
{
    WindowDriver run{ImapFetchWindow(1, 20, entriesOf(20, 100), 7,
                                     FetchWindowLimits{.requests = 8, .messagesPerRequest = 1, .mostPerRequest = 1})};
    EXPECT_EQ(run.asked(1), 8);
    for (qint64 n : {1, 2, 3})
        run.arrive(n);
    ASSERT_TRUE(run.window.takeWhole(1));
    EXPECT_EQ(run.asked(2), 0);  // room for one: 2 and 3 wait here
    ASSERT_TRUE(run.window.takeWhole(2));
    EXPECT_EQ(run.asked(3), 2);
    ASSERT_TRUE(run.window.takeWhole(3));
    EXPECT_EQ(run.asked(4), 1);  // nothing waits: the link sets the pace
}

// Messages waiting here that hold a quarter of the bytes allowed: the caller,
// not the link, is behind, and more asked for now would only wait here too.
TEST(FetchWindow, AsksNothingMoreWhileAQuarterOfTheBytesWaitsHere)
{
    WindowDriver run{ImapFetchWindow(1, 8, entriesOf(8, 100), 7,
                                     FetchWindowLimits{.requests = 4, .messagesPerRequest = 1, .mostPerRequest = 1, .bytes = 1000})};
    EXPECT_EQ(run.asked(1), 4);
    run.arrive(1);
    ASSERT_TRUE(run.window.takeWhole(1));
    run.arrive(2, QByteArray(300, 'x'));
    EXPECT_EQ(run.asked(3), 0);
    ASSERT_TRUE(run.window.takeWhole(2));
    EXPECT_EQ(run.asked(3), 2);
}

// While the caller waits on the link, each command asks for four times as
// many messages, up to the most allowed, and the bytes allowed still bound it.
TEST(FetchWindow, AsksForMoreInEachCommandWhileTheCallerWaitsOnTheLink)
{
    std::vector<ImapFetchWindow::Entry> entries = entriesOf(20, 100);
    entries[11].uid = 30;
    WindowDriver run{ImapFetchWindow(1, 20, entries, 7,
                                     FetchWindowLimits{.requests = 2, .messagesPerRequest = 1, .mostPerRequest = 8, .bytes = 1200})};
    const QByteArray items = " (UID INTERNALDATE BODY.PEEK[])\r\n";
    EXPECT_EQ(run.requests(1), "A1 UID FETCH 1:4" + items + "A2 UID FETCH 5:8" + items);
    EXPECT_EQ(run.requests(1), "A3 UID FETCH 9:11,30" + items);  // 12 messages of 100 bytes fill the 1200
    EXPECT_EQ(run.requests(1), "");
}

}  // namespace

// The extraction loop with the real IMAP component over a link that fails:
// a scripted server behind a relay that cuts the connection, refuses
// reconnects, or a folder that changes under the run.
#include "app/pending_events.h"
#include "mail/imap_session.h"
#include "platform/mailbox/mailbox_component.h"
#include "program/component_options.h"
#include "support/recording_message_boxes.h"
#include "support/scripted_imap_server.h"
#include "support/tcp_relay.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tallyhive;
using tallyhive::testing::RecordingMessageBoxes;
using tallyhive::testing::ScriptedImapServer;
using tallyhive::testing::TcpRelay;

namespace {

// A message as the session delivered it.
struct Listing : EmailRecord {
    int uID = 0;
};

constexpr int kMessages = 30;

// Messages of about 40 KB, so that a cut most likely falls inside one.
ScriptedImapServer::Script largeMessages()
{
    auto script = ScriptedImapServer::normalMailbox(kMessages);
    for (QByteArray& message : script.mailboxes[QStringLiteral("INBOX")])
        message += QByteArray("Filler line of the message body, to make it large.\r\n").repeated(800);
    return script;
}

class ExtractionLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedTemp_ = qgetenv("TEMP");
        qputenv("TEMP", logDir_.path().toUtf8());
        qputenv("TALLYHIVE_READ_TIMEOUT_MS", "5000");
        qputenv("TALLYHIVE_RECONNECT_DELAY_MS", "50");
    }
    void TearDown() override
    {
        setPendingEventsObserver(nullptr);
        qputenv("TEMP", savedTemp_);
        for (const char* name : {"TALLYHIVE_READ_TIMEOUT_MS", "TALLYHIVE_RECONNECT_DELAY_MS", "TALLYHIVE_CA_FILE",
                                 "TALLYHIVE_IMAP_HOST", "TALLYHIVE_IMAP_PORT"})
            qunsetenv(name);
    }

    // A session for the whole Inbox of `server`, reached on `port`.
    std::shared_ptr<clsChilkatIMAP> session(const ScriptedImapServer& server, const ScriptedImapServer::Script& script, int port)
    {
        server.applyEnvironment();
        auto session = std::make_shared<clsChilkatIMAP>(boxes_);
        session->ChilkatIMAPObject = platform::createImapComponent(tallyhive::imapOptionsFromConfig());
        session->PORT = port;
        session->IMAPServer = server.host();
        session->Username = script.user;
        session->Password = script.password;
        inboxSize_ = static_cast<int>(script.mailboxes.at(QStringLiteral("INBOX")).size());
        session->MailExtractListing = [this](EmailRecord&& m, int uID) { delivered_.push_back({std::move(m), uID}); };
        session->StatusChanged = [this](const QString& text) { statuses_ << text; };
        return session;
    }

    std::vector<int> numbers() const
    {
        std::vector<int> result;
        for (const auto& m : delivered_)
            result.push_back(m.uID);
        return result;
    }
    // Every message delivered has the number it was sent with.
    void expectTrueToTheirNumbers() const
    {
        for (const auto& m : delivered_) {
            EXPECT_EQ(m.s_Subject, QStringLiteral("Subject %1").arg(m.uID));
            EXPECT_EQ(m.s_PlainText.text().section(u'\n', 0, 0).trimmed(), QStringLiteral("Body %1").arg(m.uID));
        }
    }
    int logEntries() const
    {
        QFile file(logDir_.filePath(QStringLiteral("errorlog.txt")));
        return file.open(QIODevice::ReadOnly) ? static_cast<int>(file.readAll().count(QByteArray(52, '*'))) : 0;
    }

    QTemporaryDir logDir_;
    QByteArray savedTemp_;
    RecordingMessageBoxes boxes_;
    std::vector<Listing> delivered_;
    QStringList statuses_;
    int inboxSize_ = 0;
};

std::vector<int> oneTo(int last)
{
    std::vector<int> numbers;
    for (int n = 1; n <= last; ++n)
        numbers.push_back(n);
    return numbers;
}

}  // namespace

TEST_F(ExtractionLinkTest, ACutMidMessageIsResumedAndEveryMessageArrivesOnceInOrder)
{
    const auto script = largeMessages();
    ScriptedImapServer server(script);
    TcpRelay relay(server.host(), server.port(), {.cutAfterBytes = 300000});
    auto run = session(server, script, relay.port());
    run->StartMailExtraction(QStringLiteral("Inbox"), 1, inboxSize_);
    EXPECT_EQ(relay.cuts(), 1);
    EXPECT_EQ(relay.connections(), 2);
    EXPECT_EQ(numbers(), oneTo(kMessages));
    expectTrueToTheirNumbers();
    EXPECT_EQ(run->Shortfall.notRead, 0) << run->Shortfall.firstReason.toStdString();
    EXPECT_EQ(statuses_, QStringList({"Connection lost; reconnecting (1 of 3)..."}));
    EXPECT_TRUE(boxes_.shown.empty());
    // The second connection opened the way the first did.
    const QStringList commands = server.commands();
    EXPECT_EQ(commands.filter(QStringLiteral("ID (")).size(), 2);
    EXPECT_EQ(commands.filter(QStringLiteral("LOGIN")).size(), 2);
    EXPECT_EQ(commands.filter(QStringLiteral("(UID RFC822.SIZE)")).size(), 1);
}

TEST_F(ExtractionLinkTest, RefusedReconnectsEndTheRunWithWhatWasNotRead)
{
    const auto script = largeMessages();
    ScriptedImapServer server(script);
    TcpRelay relay(server.host(), server.port(), {.cutAfterBytes = 300000, .acceptConnections = 1});
    auto run = session(server, script, relay.port());
    run->StartMailExtraction(QStringLiteral("Inbox"), 1, inboxSize_);
    const int read = static_cast<int>(delivered_.size());
    ASSERT_GT(read, 0);
    ASSERT_LT(read, kMessages);
    EXPECT_EQ(numbers(), oneTo(read));
    EXPECT_EQ(run->Shortfall.asked, kMessages);
    EXPECT_EQ(run->Shortfall.notRead, kMessages - read);
    EXPECT_TRUE(run->Shortfall.firstReason.contains(QStringLiteral("3 attempts to reconnect failed"))) << run->Shortfall.firstReason.toStdString();
    EXPECT_FALSE(run->Shortfall.firstReason.contains(script.password));
    EXPECT_EQ(statuses_.size(), 3);
    // One entry for the message that could not be finished, none for the rest.
    EXPECT_EQ(logEntries(), read + 1);
}

TEST_F(ExtractionLinkTest, AFolderRenumberedWhileTheLinkWasDownStopsTheRun)
{
    auto script = largeMessages();
    script.uidValidityAfterReconnect = 99;
    ScriptedImapServer server(script);
    TcpRelay relay(server.host(), server.port(), {.cutAfterBytes = 300000});
    auto run = session(server, script, relay.port());
    run->StartMailExtraction(QStringLiteral("Inbox"), 1, inboxSize_);
    const int read = static_cast<int>(delivered_.size());
    ASSERT_LT(read, kMessages);
    EXPECT_EQ(numbers(), oneTo(read));
    EXPECT_EQ(run->Shortfall.notRead, kMessages - read);
    EXPECT_TRUE(run->Shortfall.firstReason.contains(QStringLiteral("renumbered"))) << run->Shortfall.firstReason.toStdString();
    EXPECT_EQ(relay.connections(), 2);
}

TEST_F(ExtractionLinkTest, AnExpungeAfterTheCountDoesNotShiftTheRun)
{
    auto script = ScriptedImapServer::normalMailbox(10);
    script.expungeBeforeFetch = 3;
    ScriptedImapServer server(script);
    auto run = session(server, script, server.port());
    run->StartMailExtraction(QStringLiteral("Inbox"), 1, inboxSize_);
    EXPECT_EQ(numbers(), std::vector<int>({1, 2, 4, 5, 6, 7, 8, 9, 10}));
    expectTrueToTheirNumbers();
    EXPECT_EQ(run->Shortfall.notRead, 1);
    EXPECT_TRUE(run->Shortfall.firstReason.startsWith(QStringLiteral("fetch 3 failed"))) << run->Shortfall.firstReason.toStdString();
}

TEST_F(ExtractionLinkTest, OneRequestAtATimeAndSixteenInFlightDeliverTheSame)
{
    auto script = largeMessages();
    auto& inbox = script.mailboxes[QStringLiteral("INBOX")];
    for (int n : {2, 3, 17})  // 2 MB ones among them, two in a row
        inbox[n - 1] += QByteArray("A line to make a large message larger still.\r\n").repeated(45000);
    ScriptedImapServer server(script);
    std::vector<std::vector<Listing>> runs;
    for (const char* depth : {"1", "16"}) {
        qputenv("TALLYHIVE_FETCH_WINDOW", depth);
        delivered_.clear();
        session(server, script, server.port())->StartMailExtraction(QStringLiteral("Inbox"), 1, inboxSize_);
        runs.push_back(delivered_);
    }
    qunsetenv("TALLYHIVE_FETCH_WINDOW");
    ASSERT_EQ(runs[0].size(), static_cast<size_t>(kMessages));
    ASSERT_EQ(runs[1].size(), runs[0].size());
    for (size_t i = 0; i < runs[0].size(); ++i) {
        EXPECT_EQ(runs[1][i].uID, runs[0][i].uID);
        EXPECT_EQ(runs[1][i].s_Subject, runs[0][i].s_Subject);
        EXPECT_EQ(runs[1][i].s_ReceivedDate, runs[0][i].s_ReceivedDate);
        EXPECT_EQ(runs[1][i].s_PlainText.text(), runs[0][i].s_PlainText.text());
    }
    EXPECT_GT(runs[0][1].s_PlainText.size(), 2000000);
}

TEST_F(ExtractionLinkTest, AServerThatRefusesPipelinesIsAskedOneAtATime)
{
    auto script = ScriptedImapServer::normalMailbox(40);
    script.badToPipelined = true;
    ScriptedImapServer server(script);
    qputenv("TALLYHIVE_FETCH_WINDOW", "16");
    auto run = session(server, script, server.port());
    run->StartMailExtraction(QStringLiteral("Inbox"), 1, inboxSize_);
    qunsetenv("TALLYHIVE_FETCH_WINDOW");
    EXPECT_EQ(numbers(), oneTo(40));
    expectTrueToTheirNumbers();
    EXPECT_EQ(run->Shortfall.notRead, 0) << run->Shortfall.firstReason.toStdString();
    // Waiting on the link, the first commands ask for 16, 16 and 8; those
    // sent before the first was answered are refused, and their 24 messages
    // are asked for again, alone.
    EXPECT_EQ(server.commands().filter(QStringLiteral("UID FETCH")).size(), 3 + 24);
}

TEST_F(ExtractionLinkTest, StopWithAFullWindowReturnsAtTheNextMessageAndAwaitsNoReply)
{
    auto script = largeMessages();
    script.pieceSize = 16 * 1024;  // replies keep coming while the loop stops
    script.pieceDelayMs = 5;
    ScriptedImapServer server(script);
    qputenv("TALLYHIVE_FETCH_WINDOW", "16");
    auto run = session(server, script, server.port());
    QElapsedTimer sinceStop;
    run->MailExtractListing = [&](EmailRecord&& m, int uID) {
        delivered_.push_back({std::move(m), uID});
        if (uID == 3) {
            run->AbortProcess = true;
            sinceStop.start();
        }
    };
    run->StartMailExtraction(QStringLiteral("Inbox"), 1, inboxSize_);
    qunsetenv("TALLYHIVE_FETCH_WINDOW");
    EXPECT_EQ(numbers(), oneTo(3));
    EXPECT_LT(sinceStop.elapsed(), 2500);  // message 4 at most, never the rest of the window
    const platform::MailResult selected = run->ChilkatIMAPObject->selectMailbox(QStringLiteral("Inbox"));
    EXPECT_EQ(selected.status, platform::MailStatus::Failed);
    EXPECT_TRUE(selected.text.contains(QStringLiteral("requests outstanding"))) << selected.text.toStdString();
}

TEST_F(ExtractionLinkTest, ATokenSignInIsRepeatedFromTheSameSourceOnReconnect)
{
    auto script = largeMessages();
    script.acceptedTokens = {QStringLiteral("token-one")};
    ScriptedImapServer server(script);
    TcpRelay relay(server.host(), server.port(), {.cutAfterBytes = 300000});
    auto run = session(server, script, relay.port());
    run->Password.clear();
    std::vector<bool> asked;  // the refresh flag of every request for a token
    run->AccessTokens = [&asked](bool refresh) {
        asked.push_back(refresh);
        return platform::MailReply<QString>{{platform::MailStatus::Ok, {}}, QStringLiteral("token-one")};
    };
    run->StartMailExtraction(QStringLiteral("Inbox"), 1, inboxSize_);
    EXPECT_EQ(relay.connections(), 2);
    EXPECT_EQ(numbers(), oneTo(kMessages));
    EXPECT_EQ(run->Shortfall.notRead, 0) << run->Shortfall.firstReason.toStdString();
    // One request per connection, none asking for a new token: the one at hand still works.
    EXPECT_EQ(asked, std::vector<bool>({false, false}));
    const QStringList commands = server.commands();
    EXPECT_EQ(commands.filter(QStringLiteral("AUTHENTICATE XOAUTH2")).size(), 2);
    EXPECT_TRUE(commands.filter(QStringLiteral("LOGIN")).isEmpty());
    EXPECT_EQ(logEntries(), kMessages);
    QFile log(logDir_.filePath(QStringLiteral("errorlog.txt")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_FALSE(log.readAll().contains("token-one"));
}

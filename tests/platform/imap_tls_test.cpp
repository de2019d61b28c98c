#include "imap_transcript.h"
#include "support/scripted_imap_server.h"

#include "platform/imap/imap_client.h"
#include "platform/imap/tls_transport.h"
#include "program/component_options.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace tallyhive::platform;
using tallyhive::testing::RecordingNotifications;
using tallyhive::testing::ScriptedImapServer;

namespace {

class ImapTlsTest : public ::testing::Test {
protected:
    void SetUp() override { qputenv("TALLYHIVE_READ_TIMEOUT_MS", "5000"); }
    void TearDown() override
    {
        for (const char* name : {"TALLYHIVE_READ_TIMEOUT_MS", "TALLYHIVE_CA_FILE", "TALLYHIVE_IMAP_HOST", "TALLYHIVE_IMAP_PORT"})
            qunsetenv(name);
    }

    // The protocol client the component the mail layer uses drives.
    std::unique_ptr<ImapClient> clientFor(const ScriptedImapServer& server)
    {
        const auto options = tallyhive::imapOptionsFromConfig();
        auto client = std::make_unique<ImapClient>(std::make_unique<TlsTransport>(options.caFile), options);
        client->setPort(server.port());
        client->setNotifications(&events);
        return client;
    }

    // Connected and logged in as the script's user.
    std::unique_ptr<ImapClient> signedIn(const ScriptedImapServer& server, const ScriptedImapServer::Script& script)
    {
        server.applyEnvironment();
        auto client = clientFor(server);
        EXPECT_EQ(client->connect(server.host()), 1) << client->lastErrorText().toStdString();
        EXPECT_EQ(client->login(script.user, script.password), 1) << client->lastErrorText().toStdString();
        return client;
    }

    RecordingNotifications events;
};

TEST_F(ImapTlsTest, WholeSessionOverVerifiedTls)
{
    const auto script = ScriptedImapServer::normalMailbox(3);
    ScriptedImapServer server(script);
    server.applyEnvironment();
    auto client = clientFor(server);
    ASSERT_EQ(client->connect(QStringLiteral("localhost")), 1) << client->lastErrorText().toStdString();
    EXPECT_FALSE(client->sendRawCommand(QStringLiteral("ID (\"GUID\" \"1\")")).isEmpty());
    ASSERT_EQ(client->login(script.user, script.password), 1);

    const auto names = client->listMailboxes(QString(), QStringLiteral("*"));
    ASSERT_TRUE(names);
    EXPECT_EQ(names->size(), 5);
    EXPECT_TRUE(names->contains(QStringLiteral("INBOX")));

    ASSERT_EQ(client->selectMailbox(QStringLiteral("INBOX")), 1);
    EXPECT_EQ(client->numMessages(), 3);
    for (int n = 1; n <= 3; ++n) {
        const auto message = client->fetchRaw(n);
        ASSERT_TRUE(message) << client->lastErrorText().toStdString();
        EXPECT_TRUE(message->bytes.contains("Subject: Subject " + QByteArray::number(n)));
    }
    EXPECT_FALSE(client->fetchRaw(4));
    EXPECT_TRUE(server.seen(QStringLiteral("INBOX")).empty());
    EXPECT_EQ(server.commands().filter(QStringLiteral("BODY.PEEK[]")).size(), 4);

    client->disconnect();
    EXPECT_TRUE(server.commands().contains(QStringLiteral("LOGOUT")));
}

TEST_F(ImapTlsTest, CertificateVerificationNeedsTheCaOverride)
{
    ScriptedImapServer server;
    auto client = clientFor(server);
    ASSERT_TRUE(qgetenv("TALLYHIVE_CA_FILE").isEmpty());
    EXPECT_EQ(client->connect(server.host()), 0);
    EXPECT_TRUE(client->lastErrorText().contains(QStringLiteral("TLS handshake failed"))) << client->lastErrorText().toStdString();

    qputenv("TALLYHIVE_CA_FILE", "/nonexistent/ca.pem");
    client = clientFor(server);
    EXPECT_EQ(client->connect(server.host()), 0);
    EXPECT_TRUE(client->lastErrorText().contains(QStringLiteral("CA file")));

    server.applyEnvironment();
    client = clientFor(server);
    EXPECT_EQ(client->connect(server.host()), 1) << client->lastErrorText().toStdString();
}

TEST_F(ImapTlsTest, CertificateForAnotherHostIsRefused)
{
    ScriptedImapServer::Script script;
    script.certificateHost = QStringLiteral("mail.other.example");
    ScriptedImapServer server(script);
    server.applyEnvironment();
    auto client = clientFor(server);
    EXPECT_EQ(client->connect(server.host()), 0);
    EXPECT_TRUE(client->lastErrorText().contains(QStringLiteral("TLS handshake failed"))) << client->lastErrorText().toStdString();
}

TEST_F(ImapTlsTest, RefusedLoginsAndIdAnswers)
{
    ScriptedImapServer::Script script;
    script.password = QStringLiteral("with \"quotes\" and ü");
    script.idAnswer = ScriptedImapServer::IdAnswer::Refuse;
    ScriptedImapServer server(script);
    server.applyEnvironment();
    auto client = clientFor(server);
    ASSERT_EQ(client->connect(server.host()), 1);
    EXPECT_TRUE(client->sendRawCommand(QStringLiteral("ID (\"GUID\" \"1\")")).contains(QStringLiteral("BAD ID not supported")));
    EXPECT_EQ(client->login(script.user, QStringLiteral("wrong")), 0);
    EXPECT_FALSE(client->lastErrorText().contains(QStringLiteral("wrong")));
    EXPECT_EQ(client->login(script.user, script.password), 1) << client->lastErrorText().toStdString();

    ScriptedImapServer::Script hangup;
    hangup.idAnswer = ScriptedImapServer::IdAnswer::Hangup;
    ScriptedImapServer hangupServer(hangup);
    hangupServer.applyEnvironment();
    auto second = clientFor(hangupServer);
    ASSERT_EQ(second->connect(hangupServer.host()), 1);
    EXPECT_TRUE(second->sendRawCommand(QStringLiteral("ID (\"GUID\" \"1\")")).isEmpty());
    EXPECT_EQ(second->login(hangup.user, hangup.password), 0);
    EXPECT_EQ(hangupServer.commands().filter(QStringLiteral("LOGIN")).size(), 0);
}

TEST_F(ImapTlsTest, ConnectionDroppedInARangeFailsTheRestQuickly)
{
    auto script = ScriptedImapServer::normalMailbox(4);
    script.dropAtFetch = 2;
    ScriptedImapServer server(script);
    auto client = signedIn(server, script);
    ASSERT_EQ(client->selectMailbox(QStringLiteral("INBOX")), 1);
    EXPECT_TRUE(client->fetchRaw(1));
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(client->fetchRaw(2));
    EXPECT_FALSE(client->fetchRaw(3));
    EXPECT_FALSE(client->fetchRaw(4));
    EXPECT_LT(clock.elapsed(), 3000);
}

TEST_F(ImapTlsTest, StalledFetchTimesOutAndAnAbortedOneEndsAfterTheGrace)
{
    qputenv("TALLYHIVE_READ_TIMEOUT_MS", "600");
    auto script = ScriptedImapServer::normalMailbox(2);
    script.stallAtFetch = 1;
    {
        ScriptedImapServer server(script);
        auto client = signedIn(server, script);
        ASSERT_EQ(client->selectMailbox(QStringLiteral("INBOX")), 1);
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(client->fetchRaw(1));
        EXPECT_GE(clock.elapsed(), 550);
        EXPECT_TRUE(client->lastErrorText().contains(QStringLiteral("no reply")));
    }
    qputenv("TALLYHIVE_READ_TIMEOUT_MS", "30000");
    ScriptedImapServer server(script);
    auto client = signedIn(server, script);
    ASSERT_EQ(client->selectMailbox(QStringLiteral("INBOX")), 1);
    events.onPercent = [this](int) { events.abort = true; };
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(client->fetchRaw(1));
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_TRUE(client->lastErrorText().contains(QStringLiteral("abandoned")));
}

TEST_F(ImapTlsTest, MessageArrivingInTinyPiecesIsWholeWithBoundedProgress)
{
    ScriptedImapServer::Script script;
    QByteArray big = ScriptedImapServer::sampleMessage(1);
    big.chop(2);
    big += QByteArray("0123456789abcdef\r\n").repeated(150);
    script.mailboxes[QStringLiteral("INBOX")] = {big};
    script.pieceSize = 7;
    script.literalMailboxNames = true;
    ScriptedImapServer server(script);
    auto client = signedIn(server, script);
    const auto names = client->listMailboxes(QString(), QStringLiteral("*"));
    ASSERT_TRUE(names);
    EXPECT_EQ(*names, QStringList{QStringLiteral("INBOX")});
    ASSERT_EQ(client->selectMailbox(QStringLiteral("INBOX")), 1);
    const auto raw = client->fetchRaw(1);
    ASSERT_TRUE(raw) << client->lastErrorText().toStdString();
    EXPECT_EQ(raw->bytes, big);
    EXPECT_EQ(events.percents.front(), 0);
    EXPECT_EQ(events.percents.back(), 100);
    EXPECT_LE(events.percents.size(), 101u);
}

}  // namespace

#include "imap_transcript.h"
#include "support/scripted_imap_server.h"
#include "support/said.h"

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
    std::unique_ptr<ImapClient> newClient()
    {
        const auto options = tallyhive::imapOptionsFromConfig();
        auto client = std::make_unique<ImapClient>(std::make_unique<TlsTransport>(options.caFile), options);
        client->setNotifications(&events);
        return client;
    }

    // Connected and logged in as the script's user.
    std::unique_ptr<ImapClient> signedIn(const ScriptedImapServer& server, const ScriptedImapServer::Script& script)
    {
        server.applyEnvironment();
        auto client = newClient();
        EXPECT_TRUE(said(client->connect({server.host(), server.port()})).ok()) << said.text.toStdString();
        EXPECT_TRUE(said(client->login(script.user, script.password)).ok()) << said.text.toStdString();
        return client;
    }

    RecordingNotifications events;
    tallyhive::testing::Said said;
};

TEST_F(ImapTlsTest, WholeSessionOverVerifiedTls)
{
    const auto script = ScriptedImapServer::normalMailbox(3);
    ScriptedImapServer server(script);
    server.applyEnvironment();
    auto client = newClient();
    ASSERT_TRUE(said(client->connect({QStringLiteral("localhost"), server.port()})).ok()) << said.text.toStdString();
    EXPECT_TRUE(said(client->sendRawCommand(QStringLiteral("ID (\"GUID\" \"1\")"))).ok());
    ASSERT_TRUE(said(client->login(script.user, script.password)).ok());

    const auto names = said(client->listMailboxes(QString(), QStringLiteral("*")));
    ASSERT_TRUE(names.ok());
    EXPECT_EQ(names.value.size(), 5);
    EXPECT_TRUE(names.value.contains(QStringLiteral("INBOX")));

    ASSERT_TRUE(said(client->selectMailbox(QStringLiteral("INBOX"))).ok());
    EXPECT_EQ(client->numMessages(), 3);
    for (int n = 1; n <= 3; ++n) {
        const auto message = said(client->fetchRaw(n));
        ASSERT_TRUE(message.ok()) << said.text.toStdString();
        EXPECT_TRUE(message.value.bytes.contains("Subject: Subject " + QByteArray::number(n)));
    }
    EXPECT_FALSE(said(client->fetchRaw(4)).ok());
    EXPECT_TRUE(server.seen(QStringLiteral("INBOX")).empty());
    EXPECT_EQ(server.commands().filter(QStringLiteral("BODY.PEEK[]")).size(), 4);

    client->disconnect();
    EXPECT_TRUE(server.commands().contains(QStringLiteral("LOGOUT")));
}

TEST_F(ImapTlsTest, CertificateVerificationNeedsTheCaOverride)
{
    ScriptedImapServer server;
    auto client = newClient();
    ASSERT_TRUE(qgetenv("TALLYHIVE_CA_FILE").isEmpty());
    EXPECT_FALSE(said(client->connect({server.host(), server.port()})).ok());
    EXPECT_TRUE(said.text.contains(QStringLiteral("TLS handshake failed"))) << said.text.toStdString();

    qputenv("TALLYHIVE_CA_FILE", "/nonexistent/ca.pem");
    client = newClient();
    EXPECT_FALSE(said(client->connect({server.host(), server.port()})).ok());
    EXPECT_TRUE(said.text.contains(QStringLiteral("CA file")));

    server.applyEnvironment();
    client = newClient();
    EXPECT_TRUE(said(client->connect({server.host(), server.port()})).ok()) << said.text.toStdString();
}

TEST_F(ImapTlsTest, CertificateForAnotherHostIsRefused)
{
    ScriptedImapServer::Script script;
    script.certificateHost = QStringLiteral("mail.other.example");
    ScriptedImapServer server(script);
    server.applyEnvironment();
    auto client = newClient();
    EXPECT_FALSE(said(client->connect({server.host(), server.port()})).ok());
    EXPECT_TRUE(said.text.contains(QStringLiteral("TLS handshake failed"))) << said.text.toStdString();
}

TEST_F(ImapTlsTest, RefusedLoginsAndIdAnswers)
{
    ScriptedImapServer::Script script;
    script.password = QStringLiteral("with \"quotes\" and ü");
    script.idAnswer = ScriptedImapServer::IdAnswer::Refuse;
    ScriptedImapServer server(script);
    server.applyEnvironment();
    auto client = newClient();
    ASSERT_TRUE(said(client->connect({server.host(), server.port()})).ok());
    EXPECT_TRUE(said(client->sendRawCommand(QStringLiteral("ID (\"GUID\" \"1\")"))).value.contains(QStringLiteral("BAD ID not supported")));
    EXPECT_FALSE(said(client->login(script.user, QStringLiteral("wrong"))).ok());
    EXPECT_FALSE(said.text.contains(QStringLiteral("wrong")));
    EXPECT_TRUE(said(client->login(script.user, script.password)).ok()) << said.text.toStdString();

    ScriptedImapServer::Script hangup;
    hangup.idAnswer = ScriptedImapServer::IdAnswer::Hangup;
    ScriptedImapServer hangupServer(hangup);
    hangupServer.applyEnvironment();
    auto second = newClient();
    ASSERT_TRUE(said(second->connect({hangupServer.host(), hangupServer.port()})).ok());
    EXPECT_FALSE(said(second->sendRawCommand(QStringLiteral("ID (\"GUID\" \"1\")"))).ok());
    EXPECT_FALSE(said(second->login(hangup.user, hangup.password)).ok());
    EXPECT_EQ(hangupServer.commands().filter(QStringLiteral("LOGIN")).size(), 0);
}

TEST_F(ImapTlsTest, ConnectionDroppedInARangeFailsTheRestQuickly)
{
    auto script = ScriptedImapServer::normalMailbox(4);
    script.dropAtFetch = 2;
    ScriptedImapServer server(script);
    auto client = signedIn(server, script);
    ASSERT_TRUE(said(client->selectMailbox(QStringLiteral("INBOX"))).ok());
    EXPECT_TRUE(said(client->fetchRaw(1)).ok());
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(said(client->fetchRaw(2)).ok());
    EXPECT_FALSE(said(client->fetchRaw(3)).ok());
    EXPECT_FALSE(said(client->fetchRaw(4)).ok());
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
        ASSERT_TRUE(said(client->selectMailbox(QStringLiteral("INBOX"))).ok());
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(said(client->fetchRaw(1)).ok());
        EXPECT_GE(clock.elapsed(), 550);
        EXPECT_TRUE(said.text.contains(QStringLiteral("no reply")));
    }
    qputenv("TALLYHIVE_READ_TIMEOUT_MS", "30000");
    ScriptedImapServer server(script);
    auto client = signedIn(server, script);
    ASSERT_TRUE(said(client->selectMailbox(QStringLiteral("INBOX"))).ok());
    events.onPercent = [this](int) { events.abort = true; };
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(said(client->fetchRaw(1)).ok());
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_TRUE(said.text.contains(QStringLiteral("abandoned")));
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
    const auto names = said(client->listMailboxes(QString(), QStringLiteral("*")));
    ASSERT_TRUE(names.ok());
    EXPECT_EQ(names.value, QStringList{QStringLiteral("INBOX")});
    ASSERT_TRUE(said(client->selectMailbox(QStringLiteral("INBOX"))).ok());
    const auto raw = said(client->fetchRaw(1));
    ASSERT_TRUE(raw.ok()) << said.text.toStdString();
    EXPECT_EQ(raw.value.bytes, big);
    EXPECT_EQ(events.percents.front(), 0);
    EXPECT_EQ(events.percents.back(), 100);
    EXPECT_LE(events.percents.size(), 101u);
}

}  // namespace

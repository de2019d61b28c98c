// AUTHENTICATE XOAUTH2 on the wire: both ways of sending the token, both
// ways servers refuse one, the one retry with a refreshed token, and the
// mailbox refused after its token was taken.
#include "imap_transcript.h"
#include "support/said.h"

#include "platform/imap/imap_client.h"

#include <gtest/gtest.h>

using namespace tallyhive::platform;
using tallyhive::testing::TranscriptTransport;

namespace {

QByteArray payload(const QByteArray& user, const QByteArray& token)
{
    return ("user=" + user + "\x01" "auth=Bearer " + token + "\x01\x01").toBase64();
}

const QByteArray kDovecotReasons = "+ eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiYmVhcmVyIiwic2NvcGUiOiJtYWlsIn0=\r\n";

class ImapXoauth2Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto transport = std::make_unique<TranscriptTransport>();
        wire = transport.get();
        ImapOptions options;
        options.readTimeoutMs = 400;
        client = std::make_unique<ImapClient>(std::move(transport), options);
        wire->server("* OK ready\r\n");
        ASSERT_TRUE(said(client->connect({QStringLiteral("imap.example.org")})).ok());
    }

    // Hands out the given tokens in turn and records what was asked.
    AccessTokenSource source(QStringList tokens)
    {
        return [this, tokens](bool refresh) mutable {
            asked << refresh;
            if (tokens.isEmpty())
                return MailReply<QString>{{MailStatus::TokenRefused, QStringLiteral("no sign-in to renew")}, {}};
            return MailReply<QString>{{MailStatus::Ok, {}}, tokens.takeFirst()};
        };
    }
    MailStatus authenticate(QStringList tokens) { return said(client->authenticateXoauth2(QStringLiteral("ann@example.org"), source(tokens))).status; }

    TranscriptTransport* wire = nullptr;
    std::unique_ptr<ImapClient> client;
    tallyhive::testing::Said said;
    QList<bool> asked;
};

TEST_F(ImapXoauth2Test, TokenTravelsAsInitialResponseWhenOfferedElseAfterTheContinuation)
{
    wire->client("A1 CAPABILITY\r\n")
        .server("* CAPABILITY IMAP4rev1 SASL-IR AUTH=XOAUTH2\r\nA1 OK done\r\n")
        .client("A2 AUTHENTICATE XOAUTH2 " + payload("ann@example.org", "tok-1") + "\r\n")
        .server("A2 OK AUTHENTICATE completed.\r\n")
        .client("A3 LIST \"\" \"\"\r\n")
        .server("* LIST (\\Noselect) \"/\" \"\"\r\nA3 OK LIST completed.\r\n");
    EXPECT_EQ(authenticate({QStringLiteral("tok-1")}), MailStatus::Ok);
    EXPECT_EQ(asked, QList<bool>({false}));

    wire->server("* OK ready\r\n")
        .client("A1 CAPABILITY\r\n")
        .server("* CAPABILITY IMAP4rev1 AUTH=XOAUTH2\r\nA1 OK done\r\n")
        .client("A2 AUTHENTICATE XOAUTH2\r\n")
        .server("+ \r\n")
        .client(payload("ann@example.org", "tok-2") + "\r\n")
        .server("A2 OK AUTHENTICATE completed.\r\n")
        .client("A3 LIST \"\" \"\"\r\n")
        .server("A3 OK LIST completed.\r\n");
    ASSERT_TRUE(said(client->connect({QStringLiteral("h")})).ok());
    EXPECT_EQ(authenticate({QStringLiteral("tok-2")}), MailStatus::Ok);

    // Outlook.com takes the token of a mailbox it will not serve.
    wire->server("* OK ready\r\n")
        .client("A1 CAPABILITY\r\n")
        .server("* CAPABILITY IMAP4rev1 SASL-IR\r\nA1 OK done\r\n")
        .client("A2 AUTHENTICATE XOAUTH2 " + payload("ann@example.org", "tok-3") + "\r\n")
        .server("A2 OK AUTHENTICATE completed.\r\n")
        .client("A3 LIST \"\" \"\"\r\n")
        .server("A3 BAD User is authenticated but not connected.\r\n");
    ASSERT_TRUE(said(client->connect({QStringLiteral("h")})).ok());
    EXPECT_EQ(authenticate({QStringLiteral("tok-3")}), MailStatus::MailboxNotServed);
    EXPECT_TRUE(said.text.endsWith(QStringLiteral("A3 BAD User is authenticated but not connected.")));
}

TEST_F(ImapXoauth2Test, RefusalWithReasonsIsAnsweredWithAnEmptyLineAndARefreshedTokenTriedOnce)
{
    wire->client("A1 CAPABILITY\r\n")
        .server("* CAPABILITY IMAP4rev1 SASL-IR\r\nA1 OK done\r\n")
        .client("A2 AUTHENTICATE XOAUTH2 " + payload("ann@example.org", "stale") + "\r\n")
        .server(kDovecotReasons)
        .client("\r\n")
        .server("A2 NO [AUTHENTICATIONFAILED] Authentication failed.\r\n")
        .client("A3 AUTHENTICATE XOAUTH2 " + payload("ann@example.org", "fresh") + "\r\n")
        .server("A3 OK Logged in\r\n")
        .client("A4 LIST \"\" \"\"\r\n")
        .server("A4 OK LIST completed.\r\n");
    EXPECT_EQ(authenticate({QStringLiteral("stale"), QStringLiteral("fresh")}), MailStatus::Ok);
    EXPECT_EQ(asked, QList<bool>({false, true}));
}

TEST_F(ImapXoauth2Test, ImmediateRefusalsEndAfterOneRetryAsRefusedAndTheConnectionStaysUsable)
{
    wire->client("A1 CAPABILITY\r\n")
        .server("* CAPABILITY IMAP4rev1 SASL-IR\r\nA1 OK done\r\n")
        .client("A2 AUTHENTICATE XOAUTH2 " + payload("ann@example.org", "one") + "\r\n")
        .server("A2 NO AUTHENTICATE failed.\r\n")
        .client("A3 AUTHENTICATE XOAUTH2 " + payload("ann@example.org", "two") + "\r\n")
        .server("A3 NO AUTHENTICATE failed.\r\n")
        .client("A4 NOOP\r\n")
        .server("A4 OK NOOP completed\r\n");
    EXPECT_EQ(authenticate({QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")}), MailStatus::TokenRefused);
    EXPECT_EQ(asked.size(), 2);
    EXPECT_TRUE(said.text.contains(QStringLiteral("AUTHENTICATE failed")));
    EXPECT_TRUE(said(client->sendRawCommand(QStringLiteral("NOOP"))).ok());
}

TEST_F(ImapXoauth2Test, NoTokenMeansRefusedWithoutSendingAnything)
{
    wire->client("A1 CAPABILITY\r\n").server("* CAPABILITY IMAP4rev1 SASL-IR\r\nA1 OK done\r\n");
    EXPECT_EQ(authenticate({}), MailStatus::TokenRefused);
    EXPECT_FALSE(wire->written.contains("AUTHENTICATE"));

    wire->client("A2 CAPABILITY\r\n")
        .server("* CAPABILITY IMAP4rev1 SASL-IR\r\nA2 OK done\r\n")
        .client("A3 AUTHENTICATE XOAUTH2 " + payload("ann@example.org", "old") + "\r\n")
        .server("A3 NO AUTHENTICATE failed.\r\n");
    EXPECT_EQ(authenticate({QStringLiteral("old")}), MailStatus::TokenRefused);
    EXPECT_EQ(asked.mid(1), QList<bool>({false, true}));

    // A source that answers with an empty token has none either.
    wire->client("A4 CAPABILITY\r\n").server("* CAPABILITY IMAP4rev1 SASL-IR\r\nA4 OK done\r\n");
    EXPECT_EQ(authenticate({QString()}), MailStatus::TokenRefused);
    EXPECT_EQ(wire->written.count("AUTHENTICATE"), 1);
}

TEST_F(ImapXoauth2Test, ErrorTextNeverHoldsTheTokenAndADroppedConnectionIsNotARefusal)
{
    const QByteArray sent = payload("ann@example.org", "s3cr3t-token");
    wire->client("A1 CAPABILITY\r\n")
        .server("* CAPABILITY IMAP4rev1 SASL-IR\r\nA1 OK done\r\n")
        .client("A2 AUTHENTICATE XOAUTH2 " + sent + "\r\n")
        .server("A2 NO you sent " + sent + " with s3cr3t-token\r\n")
        .client("A3 AUTHENTICATE XOAUTH2 " + payload("ann@example.org", "s3cr3t-token") + "\r\n")
        .drop();
    EXPECT_EQ(authenticate({QStringLiteral("s3cr3t-token"), QStringLiteral("s3cr3t-token")}), MailStatus::Failed);
    EXPECT_FALSE(said.text.contains(QStringLiteral("s3cr3t-token"))) << said.text.toStdString();
    EXPECT_FALSE(said.text.contains(QString::fromLatin1(sent)));
    EXPECT_EQ(authenticate({QStringLiteral("again")}), MailStatus::Failed);  // unusable until the next connect
}

}  // namespace

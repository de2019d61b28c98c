#include "support/dovecot_test.h"

#include "platform/imap/imap_client.h"
#include "platform/imap/tls_transport.h"
#include "program/component_options.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace tallyhive::platform;

namespace {

class ImapDovecotTest : public tallyhive::testing::DovecotTest {
public:
    static void SetUpTestSuite() { start(QStringLiteral(TALLYHIVE_TEST_DATA_DIR "/messages")); }

protected:
    std::unique_ptr<ImapClient> connected()
    {
        const auto options = tallyhive::imapOptionsFromConfig();
        auto client = std::make_unique<ImapClient>(std::make_unique<TlsTransport>(options.caFile), options);
        client->setPort(server().port());
        EXPECT_EQ(client->connect(server().host()), 1) << client->lastErrorText().toStdString();
        return client;
    }
};

TEST_F(ImapDovecotTest, SignsInListsSelectsAndFetchesWithoutMarkingMailRead)
{
    auto client = connected();
    EXPECT_FALSE(client->sendRawCommand(QStringLiteral("ID (\"GUID\" \"1\")")).isEmpty()) << client->lastErrorText().toStdString();
    ASSERT_EQ(client->login(server().user(), server().password()), 1) << client->lastErrorText().toStdString();

    const auto names = client->listMailboxes(QString(), QStringLiteral("*"));
    ASSERT_TRUE(names) << client->lastErrorText().toStdString();
    EXPECT_TRUE(names->contains(QStringLiteral("INBOX")));

    ASSERT_EQ(client->selectMailbox(QStringLiteral("INBOX")), 1) << client->lastErrorText().toStdString();
    const int count = static_cast<int>(QDir(QStringLiteral(TALLYHIVE_TEST_DATA_DIR "/messages")).entryList({QStringLiteral("*.eml")}).size());
    EXPECT_EQ(client->numMessages(), count);
    for (int n = 1; n <= 3; ++n) {
        const auto message = client->fetchRaw(n);
        ASSERT_TRUE(message) << client->lastErrorText().toStdString();
        EXPECT_TRUE(message->internalDate.isValid());
    }
    EXPECT_FALSE(client->fetchRaw(count + 1));

    // Reading with BODY.PEEK leaves the messages unread.
    const QString flags = client->sendRawCommand(QStringLiteral("FETCH 1:3 (FLAGS)"));
    EXPECT_EQ(flags.count(QStringLiteral("FETCH (FLAGS")), 3) << flags.toStdString();
    EXPECT_FALSE(flags.contains(QStringLiteral("\\Seen"))) << flags.toStdString();
    client->disconnect();
}

TEST_F(ImapDovecotTest, WrongPasswordFailsWithoutEchoingIt)
{
    auto client = connected();
    const QString wrong = QStringLiteral("Not-The-Password-42");
    EXPECT_EQ(client->login(server().user(), wrong), 0);
    EXPECT_FALSE(client->lastErrorText().isEmpty());
    EXPECT_FALSE(client->lastErrorText().contains(wrong));
    EXPECT_EQ(client->selectMailbox(QStringLiteral("INBOX")), 0);
}

}  // namespace

#include "support/dovecot_test.h"
#include "support/said.h"

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
        EXPECT_TRUE(said(client->connect({server().host(), server().port()})).ok()) << said.text.toStdString();
        return client;
    }

    tallyhive::testing::Said said;
};

TEST_F(ImapDovecotTest, SignsInListsSelectsAndFetchesWithoutMarkingMailRead)
{
    auto client = connected();
    EXPECT_TRUE(said(client->sendRawCommand(QStringLiteral("ID (\"GUID\" \"1\")"))).ok()) << said.text.toStdString();
    ASSERT_TRUE(said(client->login(server().user(), server().password())).ok()) << said.text.toStdString();

    const auto names = said(client->listMailboxes(QString(), QStringLiteral("*")));
    ASSERT_TRUE(names.ok()) << said.text.toStdString();
    EXPECT_TRUE(names.value.contains(QStringLiteral("INBOX")));

    ASSERT_TRUE(said(client->selectMailbox(QStringLiteral("INBOX"))).ok()) << said.text.toStdString();
    const int count = static_cast<int>(QDir(QStringLiteral(TALLYHIVE_TEST_DATA_DIR "/messages")).entryList({QStringLiteral("*.eml")}).size());
    EXPECT_EQ(client->numMessages(), count);
    for (int n = 1; n <= 3; ++n) {
        const auto message = said(client->fetchRaw(n));
        ASSERT_TRUE(message.ok()) << said.text.toStdString();
        EXPECT_TRUE(message.value.internalDate.isValid());
    }
    EXPECT_FALSE(said(client->fetchRaw(count + 1)).ok());

    // Reading with BODY.PEEK leaves the messages unread.
    const QString flags = said(client->sendRawCommand(QStringLiteral("FETCH 1:3 (FLAGS)"))).value;
    EXPECT_EQ(flags.count(QStringLiteral("FETCH (FLAGS")), 3) << flags.toStdString();
    EXPECT_FALSE(flags.contains(QStringLiteral("\\Seen"))) << flags.toStdString();
    client->disconnect();
}

TEST_F(ImapDovecotTest, WrongPasswordFailsWithoutEchoingIt)
{
    auto client = connected();
    const QString wrong = QStringLiteral("Not-The-Password-42");
    EXPECT_FALSE(said(client->login(server().user(), wrong)).ok());
    EXPECT_FALSE(said.text.isEmpty());
    EXPECT_FALSE(said.text.contains(wrong));
    EXPECT_FALSE(said(client->selectMailbox(QStringLiteral("INBOX"))).ok());
}

}  // namespace

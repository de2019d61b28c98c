#include "imap_transcript.h"

#include "platform/mailbox/mailbox_component.h"

#include <gtest/gtest.h>

using namespace tallyhive::platform;
using tallyhive::EmailRecord;
using tallyhive::testing::TranscriptTransport;

namespace {

QByteArray numbered(int n)
{
    return "From: Ann <ann@example.org>\r\nSubject: Number " + QByteArray::number(n) + "\r\n\r\nText " + QByteArray::number(n) + "\r\n";
}

QByteArray reply(const QByteArray& tag, int n, bool refuse = false)
{
    if (refuse)
        return tag + " NO Refused " + QByteArray::number(n) + "\r\n";
    const QByteArray body = numbered(n);
    return "* " + QByteArray::number(n) + " FETCH (UID " + QByteArray::number(50 + n) + " BODY[] {" + QByteArray::number(body.size())
        + "}\r\n" + body + ")\r\n" + tag + " OK Fetch number " + QByteArray::number(n) + "\r\n";
}

// Messages converted ahead on the second thread still come one at a time, in
// order, each with the log text of its own fetch.
TEST(MailboxComponentTest, ARunDeliversConvertedMessagesInOrderWithTheirOwnLogTexts)
{
    auto transport = std::make_unique<TranscriptTransport>();
    TranscriptTransport* wire = transport.get();
    ImapOptions options;
    options.window.requests = 4;
    options.window.messagesPerRequest = 1;
    options.window.mostPerRequest = 1;
    MailboxComponent component(std::make_unique<ImapClient>(std::move(transport), options));
    wire->server("* OK IMAP ready\r\n")
        .client("A1 SELECT \"INBOX\"\r\n")
        .server("* 6 EXISTS\r\nA1 OK Selected\r\n")
        .client("A2 FETCH 1:6 (UID RFC822.SIZE)\r\n");
    QByteArray listing;
    for (int n = 1; n <= 6; ++n)
        listing += "* " + QByteArray::number(n) + " FETCH (UID " + QByteArray::number(50 + n) + " RFC822.SIZE 90)\r\n";
    wire->server(listing + "A2 OK Listed\r\n");
    QByteArray requests;
    for (int n = 1; n <= 4; ++n)
        requests += "A" + QByteArray::number(n + 2) + " UID FETCH " + QByteArray::number(50 + n) + " (UID INTERNALDATE BODY.PEEK[])\r\n";
    wire->client(requests).server(reply("A3", 1) + reply("A4", 2) + reply("A5", 3, true) + reply("A6", 4));
    wire->client("A7 UID FETCH 55 (UID INTERNALDATE BODY.PEEK[])\r\nA8 UID FETCH 56 (UID INTERNALDATE BODY.PEEK[])\r\n")
        .server(reply("A7", 5) + reply("A8", 6));
    ASSERT_TRUE(component.connect({QStringLiteral("imap.example.org"), 993}).ok());
    ASSERT_TRUE(component.selectMailbox(QStringLiteral("INBOX")).ok());
    ASSERT_TRUE(component.beginFetchRun(1, 6).ok());
    for (int n = 1; n <= 6; ++n) {
        const FetchedMessage fetched = component.fetchRunMessage(n);
        if (n == 3) {
            EXPECT_EQ(fetched.status, MailStatus::MessageBad);
            EXPECT_TRUE(fetched.text.contains(QStringLiteral("Refused 3"))) << fetched.text.toStdString();
            continue;
        }
        ASSERT_EQ(fetched.status, MailStatus::Ok) << n;
        EXPECT_EQ(fetched.value.s_Subject, QStringLiteral("Number %1").arg(n));
        EXPECT_EQ(fetched.value.s_FromAddress, QStringLiteral("ann@example.org"));
        EXPECT_EQ(fetched.value.s_PlainText, QStringLiteral("Text %1\n").arg(n));
        EXPECT_TRUE(fetched.text.endsWith(QStringLiteral("OK Fetch number %1").arg(n))) << fetched.text.toStdString();
    }
    component.endFetchRun();
}

// The key a run asks the store under, and nothing kept.
class KeyRecordingStore : public MessageStore {
public:
    void setInUse(bool) override {}
    bool inUse() const override { return true; }
    std::optional<std::map<quint32, EmailRecord>> recordsFor(const StoredFolder& folder, const ListedUids&) override
    {
        asked.push_back(folder);
        return std::map<quint32, EmailRecord>();
    }
    void keep(const StoredFolder&, quint32, const EmailRecord&) override {}
    void flush() override {}
    void forget() override {}

    std::vector<StoredFolder> asked;
};

// Two folders shown alike ("&AGE-" and "&AGE- (2)") are kept apart by the
// bytes the server listed them by, whatever order it lists them in next.
TEST(MailboxComponentTest, AFolderIsKeptUnderTheBytesTheServerListedItByAndThePort)
{
    auto transport = std::make_unique<TranscriptTransport>();
    TranscriptTransport* wire = transport.get();
    auto store = std::make_shared<KeyRecordingStore>();
    MailboxComponent component(std::make_unique<ImapClient>(std::move(transport)), store);
    wire->server("* OK IMAP ready\r\n")
        .client("A1 LOGIN \"Ann\" \"pw\"\r\n")
        .server("A1 OK\r\n")
        .client("A2 LIST \"\" \"*\"\r\n")
        .server("* LIST () \"/\" \"&AGE-\"\r\n* LIST () \"/\" \"&-AGE-\"\r\nA2 OK\r\n")
        .client("A3 SELECT \"&-AGE-\"\r\n")
        .server("* 1 EXISTS\r\n* OK [UIDVALIDITY 7] UIDs valid\r\nA3 OK\r\n")
        .client("A4 FETCH 1:1 (UID RFC822.SIZE)\r\n")
        .server("* 1 FETCH (UID 5 RFC822.SIZE 90)\r\nA4 OK\r\n");
    ASSERT_TRUE(component.connect({QStringLiteral("imap.example.org"), 1993}).ok());
    ASSERT_TRUE(component.login(QStringLiteral("Ann"), QStringLiteral("pw")).ok());
    const auto listed = component.listMailboxes(QString(), QStringLiteral("*"));
    ASSERT_EQ(listed.value, QStringList({"&AGE-", "&AGE- (2)"}));
    ASSERT_TRUE(component.selectMailbox(listed.value[1]).ok());
    ASSERT_TRUE(component.beginFetchRun(1, 1).ok());
    component.endFetchRun();
    ASSERT_EQ(store->asked.size(), 1u);
    EXPECT_EQ(store->asked[0].mailbox, QByteArray("&-AGE-"));
    EXPECT_EQ(store->asked[0].port, 1993);
    EXPECT_EQ(store->asked[0].host, QStringLiteral("imap.example.org"));
    EXPECT_EQ(store->asked[0].uidValidity, 7u);
}

}  // namespace

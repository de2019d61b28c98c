#include "imap_transcript.h"

#include "platform/mailbox/mailbox_component.h"

#include <gtest/gtest.h>

using namespace tallyhive::platform;
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
    ASSERT_TRUE(component.connect(QStringLiteral("imap.example.org")).ok());
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

}  // namespace

#include "imap_transcript.h"

#include "platform/mailbox/mailbox_component.h"

#include <gtest/gtest.h>

using namespace tallyhive::platform;
using tallyhive::testing::TranscriptTransport;

namespace {

const QByteArray kMessage = "From: Ann <ann@example.org>\r\nSubject: Hello\r\nDate: Tue, 19 Mar 2024 10:00:00 +0000\r\n\r\nBody text\r\n";

TEST(MailboxComponentTest, FetchSingleHandsTheBytesToTheMimeParser)
{
    auto transport = std::make_unique<TranscriptTransport>();
    TranscriptTransport* wire = transport.get();
    MailboxComponent component(std::make_unique<ImapClient>(std::move(transport)));
    component.setSsl(true);
    component.setPort(993);
    wire->server("* OK IMAP ready\r\n").client("A1 LOGIN \"ann\" \"pw\"\r\n").server("A1 OK Logged in\r\n");
    ASSERT_EQ(component.connect(QStringLiteral("imap.example.org")), 1);
    ASSERT_EQ(component.login(QStringLiteral("ann"), QStringLiteral("pw")), 1);

    wire->client("A2 UID FETCH 77 (UID INTERNALDATE BODY.PEEK[])\r\n")
        .server("* 5 FETCH (UID 77 INTERNALDATE \"19-Mar-2024 11:30:00 +0100\" BODY[] {" + QByteArray::number(kMessage.size())
                + "}\r\n" + kMessage + ")\r\nA2 OK done\r\n");
    const auto message = component.fetchSingle(77, true);
    ASSERT_TRUE(message);
    EXPECT_EQ(message->subject, QStringLiteral("Hello"));
    EXPECT_EQ(message->fromAddress, QStringLiteral("ann@example.org"));
    EXPECT_EQ(message->plainText, QStringLiteral("Body text\n"));
    EXPECT_TRUE(wire->played()) << wire->mismatches.join(u'\n').toStdString();
}

}  // namespace

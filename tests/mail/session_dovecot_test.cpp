// The session and its extraction loop against a real IMAP server.
#include "mail/imap_session.h"
#include "mainwindow/component_options.h"
#include "platform/mailbox/mailbox_component.h"
#include "support/dovecot_test.h"
#include "support/recording_message_boxes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using tallyhive::clsChilkatIMAP;
using tallyhive::EmailRecord;

class SessionDovecotTest : public tallyhive::testing::DovecotTest {
public:
    static void SetUpTestSuite() { start(QStringLiteral(TALLYHIVE_TEST_DATA_DIR "/messages")); }

protected:
    void SetUp() override
    {
        DovecotTest::SetUp();
        qputenv("TEMP", logDir_.path().toUtf8());
        session_ = std::make_shared<clsChilkatIMAP>(boxes_);
        session_->ChilkatIMAPObject = tallyhive::platform::createImapComponent(tallyhive::imapOptionsFromConfig());
        session_->PORT = server().port();
        session_->IMAPServer = server().host();
        session_->Username = server().user();
        session_->Password = server().password();
        session_->MailExtractListing = [this](EmailRecord&&, int uID) { delivered_.push_back(uID); };
        session_->ScrapProgress = [this](int percent) { percents_.push_back(percent); };
    }

    QByteArray log() const
    {
        QFile file(logDir_.filePath(QStringLiteral("errorlog.txt")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static int corpusSize()
    {
        return static_cast<int>(QDir(QStringLiteral(TALLYHIVE_TEST_DATA_DIR "/messages")).entryList({QStringLiteral("*.eml")}).size());
    }

    QTemporaryDir logDir_;
    tallyhive::testing::RecordingMessageBoxes boxes_;
    std::shared_ptr<clsChilkatIMAP> session_;
    std::vector<int> delivered_;
    std::vector<int> percents_;
};

TEST_F(SessionDovecotTest, ConnectCountsAndExtractsTheWholeFolderWithProgressAndTheLog)
{
    ASSERT_TRUE(session_->Connect());
    ASSERT_TRUE(session_->EnumMailFolders().value_or(QStringList()).contains(QStringLiteral("Junk")));
    const int count = session_->GetTotalMessage(QStringLiteral("Inbox"));
    ASSERT_EQ(count, corpusSize());
    EXPECT_EQ(session_->GetTotalMessage(QStringLiteral("Drafts")), 0);
    EXPECT_TRUE(boxes_.shown.empty());

    session_->CurrentLocation = 1;
    session_->MaxRecord = count + 1;  // one past the end: skipped silently, still logged
    session_->StartMailExtraction(QStringLiteral("Inbox"));
    ASSERT_EQ(static_cast<int>(delivered_.size()), count);
    for (int n = 1; n <= count; ++n)
        EXPECT_EQ(delivered_[n - 1], n);
    EXPECT_EQ(log().count(QByteArray(52, '*') + "\r\n"), count + 1);
    EXPECT_FALSE(log().contains(server().password().toUtf8()));
    EXPECT_EQ(std::count(percents_.begin(), percents_.end(), 100), count);
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(SessionDovecotTest, StopEndsTheRunAtTheNextMessage)
{
    session_->MailExtractListing = [this](EmailRecord&&, int uID) {
        delivered_.push_back(uID);
        if (uID == 3)
            session_->AbortProcess = true;
    };
    session_->CurrentLocation = 1;
    session_->MaxRecord = corpusSize();
    session_->StartMailExtraction(QStringLiteral("Inbox"));
    EXPECT_EQ(delivered_, std::vector<int>({1, 2, 3}));
    EXPECT_EQ(log().count(QByteArray(52, '*')), 4);  // the fourth was fetched, not delivered
}

TEST_F(SessionDovecotTest, AWrongPasswordShowsBothBoxesAndFetchesNothing)
{
    session_->Password = QStringLiteral("wrong-password");
    session_->CurrentLocation = 1;
    session_->MaxRecord = 3;
    session_->StartMailExtraction(QStringLiteral("Inbox"));
    ASSERT_EQ(boxes_.shown.size(), 2u);
    EXPECT_TRUE(boxes_.shown[0].text.startsWith(QStringLiteral("Invalid login.")));
    EXPECT_EQ(boxes_.shown[1].text, QStringLiteral("Connection failed. Check username and password."));
    EXPECT_TRUE(delivered_.empty());
    EXPECT_TRUE(log().contains("login failed: A2 NO [AUTHENTICATIONFAILED]"));  // the one entry: why, not the password
    EXPECT_FALSE(log().contains("wrong-password"));
}

}  // namespace

// The session and its extraction loop against a real IMAP server.
#include "mail/imap_session.h"
#include "platform/mailbox/mailbox_component.h"
#include "platform/store/sqlite_message_store.h"
#include "program/component_options.h"
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
    ASSERT_TRUE(session_->Connect().ok());
    ASSERT_TRUE(session_->EnumMailFolders().value.contains(QStringLiteral("Junk")));
    const int count = session_->GetTotalMessage(QStringLiteral("Inbox")).value;
    ASSERT_EQ(count, corpusSize());
    EXPECT_EQ(session_->GetTotalMessage(QStringLiteral("Drafts")).value, 0);
    EXPECT_TRUE(boxes_.shown.empty());

    session_->StartMailExtraction(QStringLiteral("Inbox"), 1, count + 1);  // one past the end: skipped silently, still logged
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
    session_->StartMailExtraction(QStringLiteral("Inbox"), 1, corpusSize());
    EXPECT_EQ(delivered_, std::vector<int>({1, 2, 3}));
    EXPECT_EQ(log().count(QByteArray(52, '*')), 4);  // the fourth was fetched, not delivered
}

TEST_F(SessionDovecotTest, AWrongPasswordShowsBothBoxesAndFetchesNothing)
{
    session_->Password = QStringLiteral("wrong-password");
    session_->StartMailExtraction(QStringLiteral("Inbox"), 1, 3);
    ASSERT_EQ(boxes_.shown.size(), 2u);
    EXPECT_TRUE(boxes_.shown[0].text.startsWith(QStringLiteral("Invalid login.")));
    EXPECT_EQ(boxes_.shown[1].text, QStringLiteral("Connection failed. Check username and password."));
    EXPECT_TRUE(delivered_.empty());
    EXPECT_TRUE(log().contains("login failed: A2 NO [AUTHENTICATIONFAILED]"));  // the one entry: why, not the password
    EXPECT_FALSE(log().contains("wrong-password"));
}

// A folder read again and again with a store: each step changes it on the
// server, then reads it; what is listed must be what the Inbox messages it
// holds give when read without a store, and only the messages the store
// could not have kept come from the server.
TEST_F(SessionDovecotTest, AStoreGivesWhatTheServerHoldsAndReadsOnlyWhatItLacks)
{
    struct Step {
        const char* what;
        QStringList commands;  // sent to the server first
        int first = 1, last = 0;  // last 0: the whole folder
        std::vector<int> inbox;   // the Inbox messages to be listed, in order
        int kept = 0;             // of them, taken from the store
        bool damage = false;      // the store file is overwritten first
    };
    const Step steps[] = {
        {"first read", {"SELECT Inbox", "CREATE Kept", "COPY 1:4 Kept"}, 1, 0, {1, 2, 3, 4}, 0},
        {"unchanged", {}, 1, 0, {1, 2, 3, 4}, 4},
        {"new messages", {"SELECT Inbox", "COPY 5:6 Kept"}, 1, 0, {1, 2, 3, 4, 5, 6}, 4},
        {"a deleted message", {"SELECT Kept", "STORE 2 +FLAGS (\\Deleted)", "CLOSE"}, 1, 0, {1, 3, 4, 5, 6}, 5},
        {"Get Some", {}, 2, 3, {3, 4}, 2},
        {"made again", {"SELECT Inbox", "DELETE Kept", "CREATE Kept", "COPY 7:8 Kept"}, 1, 0, {7, 8}, 0},
        {"a damaged store", {}, 1, 0, {7, 8}, 0, true},
    };
    const auto read = [this](const QString& folder, int first, int last) {
        std::vector<EmailRecord> records;
        session_->MailExtractListing = [&records](EmailRecord&& record, int) { records.push_back(std::move(record)); };
        session_->StartMailExtraction(folder, first, last > 0 ? last : session_->GetTotalMessage(folder).value);
        return records;
    };
    const std::vector<EmailRecord> inbox = read(QStringLiteral("Inbox"), 1, 8);
    ASSERT_EQ(inbox.size(), 8u);
    const QTemporaryDir cache;
    // A program's run: its own session and store; the earlier one's close first.
    const auto startProgram = [&](bool damage) {
        auto next = std::make_shared<clsChilkatIMAP>(boxes_);
        next->PORT = session_->PORT, next->IMAPServer = session_->IMAPServer;
        next->Username = session_->Username, next->Password = session_->Password;
        session_ = std::move(next);
        QFile file(cache.filePath(QStringLiteral("messages.sqlite")));
        if (damage) {
            ASSERT_TRUE(file.open(QIODevice::ReadWrite) && file.write(QByteArray(8192, 'x')) == 8192);
        }
        file.close();
        auto store = std::make_shared<tallyhive::platform::SqliteMessageStore>(tallyhive::platform::MessageStoreOptions{cache.path()});
        store->setInUse(true);
        session_->ChilkatIMAPObject = tallyhive::platform::createImapComponent(tallyhive::imapOptionsFromConfig(), store);
    };
    startProgram(false);
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        if (step.damage)
            startProgram(true);
        ASSERT_TRUE(session_->Connect().ok());
        for (const QString& command : step.commands)
            ASSERT_TRUE(session_->ChilkatIMAPObject->sendRawCommand(command).value.contains(" OK ")) << command.toStdString();
        const qsizetype keptBefore = log().count("kept from an earlier read");
        const std::vector<EmailRecord> listed = read(QStringLiteral("Kept"), step.first, step.last);
        ASSERT_EQ(listed.size(), step.inbox.size());
        for (size_t i = 0; i < listed.size(); ++i) {
            const EmailRecord& expected = inbox[size_t(step.inbox[i] - 1)];
            EXPECT_EQ(listed[i].s_Subject, expected.s_Subject) << i;
            EXPECT_EQ(listed[i].s_From, expected.s_From) << i;
            EXPECT_EQ(listed[i].s_PlainText.text(), expected.s_PlainText.text()) << i;
            EXPECT_EQ(listed[i].s_HTMLText.text(), expected.s_HTMLText.text()) << i;
            EXPECT_EQ(listed[i].receivedAt, expected.receivedAt) << i;
        }
        EXPECT_EQ(log().count("kept from an earlier read") - keptBefore, step.kept);
        EXPECT_EQ(log().count("message store is not used"), step.damage ? 1 : 0);
        EXPECT_TRUE(boxes_.shown.empty());
    }
}

}  // namespace

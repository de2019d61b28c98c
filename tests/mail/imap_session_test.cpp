#include "app/error_log.h"
#include "app/general_date.h"
#include "app/pending_events.h"
#include "app/texts.h"
#include "interfaces/error.h"
#include "mail/folder_options.h"
#include "mail/imap_session.h"
#include "support/fake_imap_component.h"
#include "support/recording_message_boxes.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tallyhive;
using tallyhive::testing::FakeImapComponent;
using tallyhive::testing::RecordingMessageBoxes;

namespace {

// A message as the session delivered it.
struct Listing : EmailRecord {
    int uID = 0;
};

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedTemp_ = qgetenv("TEMP");
        qputenv("TEMP", logDir_.path().toUtf8());
        component_ = std::make_shared<FakeImapComponent>();
        component_->fill(QStringLiteral("Inbox"), 20);
        component_->mailboxes[QStringLiteral("Drafts")];
        session_ = std::make_shared<clsChilkatIMAP>(boxes_);
        session_->ChilkatIMAPObject = component_;
        session_->PORT = 993;
        session_->IMAPServer = QStringLiteral("imap.example.org");
        session_->Username = QStringLiteral("user@example.org");
        session_->Password = QStringLiteral("secret");
        session_->MailExtractListing = [this](EmailRecord&& m, int uID) { delivered_.push_back({std::move(m), uID}); };
    }
    void TearDown() override
    {
        setPendingEventsObserver(nullptr);
        qputenv("TEMP", savedTemp_);
    }

    QByteArray log() const
    {
        QFile file(logDir_.filePath(QStringLiteral("errorlog.txt")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    std::vector<int> deliveredNumbers() const
    {
        std::vector<int> numbers;
        for (const auto& m : delivered_)
            numbers.push_back(m.uID);
        return numbers;
    }

    QTemporaryDir logDir_;
    QByteArray savedTemp_;
    RecordingMessageBoxes boxes_;
    std::shared_ptr<FakeImapComponent> component_;
    std::shared_ptr<clsChilkatIMAP> session_;
    std::vector<Listing> delivered_;
};

}  // namespace

TEST_F(SessionTest, ConnectSetsTlsAndPortThenConnectsIdentifiesAndLogsIn)
{
    EXPECT_TRUE(session_->Connect().ok());
    EXPECT_EQ(component_->calls, QStringList({"port 993", "connect imap.example.org",
                                              "raw ID (\"GUID\" \"1\")", "login user@example.org"}));
    EXPECT_TRUE(boxes_.shown.empty());
    EXPECT_EQ(component_->notifications(), session_.get());
}

TEST_F(SessionTest, EveryConnectFailureShowsTheOneInvalidLoginBox)
{
    component_->idAnswer.clear();
    EXPECT_FALSE(session_->Connect().ok());
    EXPECT_FALSE(component_->calls.join(u'|').contains(QStringLiteral("login")));  // no login after an empty ID answer

    component_->idAnswer = QStringLiteral("* ID NIL");
    session_->Password = QStringLiteral("wrong");
    EXPECT_FALSE(session_->Connect().ok());

    component_->connectOk = false;
    EXPECT_FALSE(session_->Connect().ok());

    ASSERT_EQ(boxes_.shown.size(), 3u);
    for (const auto& box : boxes_.shown) {
        EXPECT_EQ(box.text, QStringLiteral("Invalid login. Please double-check your username and password.\r\n\r\n"));
        EXPECT_EQ(box.title, QStringLiteral("Tallyhive"));
    }
}

TEST_F(SessionTest, MessageCountOfKnownEmptyAndUnknownFolders)
{
    ASSERT_TRUE(session_->Connect().ok());
    EXPECT_EQ(session_->GetTotalMessage(QStringLiteral("Inbox")).value, 20);
    EXPECT_EQ(session_->GetTotalMessage(QStringLiteral("Drafts")).value, 0);
    EXPECT_TRUE(boxes_.shown.empty());
    EXPECT_EQ(session_->GetTotalMessage(QStringLiteral("Nowhere")).value, 0);
    EXPECT_EQ(boxes_.shown.size(), 1u);
}

TEST_F(SessionTest, FolderListingGivesNamesOrTheBoxOnFailure)
{
    ASSERT_TRUE(session_->Connect().ok());
    EXPECT_EQ(session_->EnumMailFolders().value, QStringList({"Drafts", "Inbox"}));
    EXPECT_TRUE(component_->calls.contains(QStringLiteral("list \"\" *")));
    component_->mailboxes.clear();
    const auto none = session_->EnumMailFolders();
    EXPECT_TRUE(none.ok() && none.value.isEmpty());
    EXPECT_TRUE(boxes_.shown.empty());
    component_->listOk = false;
    EXPECT_FALSE(session_->EnumMailFolders().ok());
    EXPECT_EQ(boxes_.shown.size(), 1u);
}

TEST(FolderOptions, TheFoldersOfferedBesideTheFiveOptions)
{
    using platform::MailboxEntry;
    const QStringList none;
    const QStringList noselect{QStringLiteral("\\Noselect"), QStringLiteral("\\HasChildren")};
    struct Case {
        const char* what;
        std::vector<MailboxEntry> listing;
        QStringList offered;
        // When `most` is set: what "Other:" shows with that many at most and `chosen` chosen before.
        qsizetype most = 0;
        QString chosen = {};
        QStringList shown = {};
        QString note = {};
    } cases[] = {
        {"the five by name and the user's own, in the listing's order",
         {{"INBOX", "/", none}, {"Sent", "/", none}, {"Archive", "/", none}, {"Drafts", "/", none},
          {"Projects", "/", noselect}, {"Projects/2026", "/", none}, {"Reçus", "/", none}, {"Junk", "/", none},
          {"Deleted", "/", none}, {"a&b", "/", none}},
         {"Archive", "Projects/2026", "Reçus", "a&b"}},
        {"folders that stand in for an option by their role are reached already",
         {{"Inbox", "/", none}, {"Sent Items", "/", {"\\Sent"}}, {"Deleted Items", "/", {"\\HasNoChildren", "\\TRASH"}},
          {"Old Sent", "/", {"\\Sent"}}, {"Archive", "/", {"\\Archive"}}},
         {"Old Sent", "Archive"}},
        {"a folder of the option's name wins, so the marked one is offered",
         {{"Sent", "/", none}, {"Sent Mail", "/", {"\\Sent"}}, {"inbox", ".", none}, {"INBOX.Sub", ".", none}},
         {"Sent Mail", "INBOX.Sub"}},
        {"names that cannot be opened are left out; case counts except for INBOX",
         {{"Gone", "/", {"\\NonExistent"}}, {"[Gmail]", "/", {"\\NoSelect"}}, {"junk", "/", none}, {"Junk", "/", none}},
         {"junk"}},
        {"an empty listing", {}, {}},
        {"a list cut at two says so; alphabetical, case counting last", {{"b", "/", none}, {"B", "/", none}, {"a", "/", none}},
         {"b", "B", "a"}, 2, "", {"a", "B"}, "(only the first 2 of 3 folders, in alphabetical order)"},
        {"the folder chosen before stays, beyond the cut or not listed", {{"c", "/", none}, {"a", "/", none}, {"b", "/", none}},
         {"c", "a", "b"}, 1, "c", {"a", "c"}, "(only the first 1 of 3 folders, in alphabetical order)"},
        {"a list within the most is not cut", {{"b", "/", none}, {"a", "/", none}}, {"b", "a"}, 2, "z", {"a", "b", "z"}, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(foldersBesideOptions(c.listing), c.offered) << c.what;
        if (c.most == 0)
            continue;
        const OtherFolders other = otherFoldersOffered(c.offered, c.chosen, c.most);
        EXPECT_EQ(other.folders, c.shown) << c.what;
        EXPECT_EQ(other.cutNote, c.note) << c.what;
    }
}

// Which numbers of a range are listed (the first with all its fields), what
// the error log gets (an entry per fetch, one more per message kept as raw
// text) and what the run counts as not read.
TEST_F(SessionTest, ExtractionListsWhatItReadsLogsEveryFetchAndCountsTheRest)
{
    const auto inbox = [](FakeImapComponent& c) -> auto& { return c.mailboxes[QStringLiteral("Inbox")]; };
    struct Case {
        const char* what;
        int first, last;
        std::function<void(FakeImapComponent&)> arrange;
        std::vector<int> listed;
        int entries;
        const char* logLine;  // one entry's text, as it stands after the time stamp
        qint64 asked, notRead;
        const char* firstReason;
    } cases[] = {
        {"a message kept as raw text", 1, 3, [&](FakeImapComponent& c) { inbox(c)[1].keptAsRawText = true; }, {1, 2, 3}, 4,
         " : Message 2 would take too long or too much memory to convert; its raw text is listed as its body\r\n", 3, 0, ""},
        {"an empty range", 3, 2, {}, {}, 0, "", 0, 0, ""},
        {"numbers beyond the folder", 1, 3, [&](FakeImapComponent& c) { inbox(c).resize(1); }, {1}, 3, " : fetched 3\r\n", 3, 2, "fetched 2"},
        {"refused fetches, then a run that ended", 3, 12, [](FakeImapComponent& c) { c.failFetches = {4, 6}, c.endRunAt = 9; },
         {3, 5, 7, 8}, 7, " : connection lost at 9\r\n", 10, 2 + 4, "fetched 4"},
        // A thousand entries of one cause, then one that counts the rest.
        {"1,500 numbers the server did not list", 1, 1502,
         [&](FakeImapComponent& c) {
             inbox(c).clear();
             c.fill(QStringLiteral("Inbox"), 1502);
             for (int n = 2; n <= 1501; ++n)
                 c.failFetches << n;
         },
         {1, 1502}, 1003, " : 500 more entries like this were left out of the log: fetched 1002\r\n", 1502, 1500, "fetched 2"},
        {"a range in the middle", 5, 9, {}, {5, 6, 7, 8, 9}, 5, " : fetched 9\r\n", 5, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        component_ = std::make_shared<FakeImapComponent>();
        component_->fill(QStringLiteral("Inbox"), 20);
        if (c.arrange)
            c.arrange(*component_);
        session_->ChilkatIMAPObject = component_;
        delivered_.clear();
        const qsizetype logBefore = log().size();
        session_->StartMailExtraction(QStringLiteral("Inbox"), c.first, c.last);
        EXPECT_EQ(deliveredNumbers(), c.listed);
        const QByteArray entries = log().mid(logBefore);
        EXPECT_EQ(entries.count(QByteArray(52, '*') + "\r\n"), c.entries);
        EXPECT_EQ(entries.count("\r\n"), 2 * c.entries);
        EXPECT_TRUE(entries.contains(c.logLine)) << entries.toStdString();
        EXPECT_EQ(session_->Shortfall.asked, c.asked);
        EXPECT_EQ(session_->Shortfall.notRead, c.notRead);
        EXPECT_EQ(session_->Shortfall.firstReason, QString::fromLatin1(c.firstReason));
        EXPECT_TRUE(boxes_.shown.empty());
    }
    EXPECT_EQ(session_->CurrentLocation, 9);
    const Listing& first = delivered_.front();  // message 5 of the last case
    EXPECT_EQ(first.s_From, QStringLiteral("\"Sender 5\" <s5@example.org>"));
    EXPECT_EQ(first.s_FromName, QStringLiteral("Sender 5"));
    EXPECT_EQ(first.s_FromAddress, QStringLiteral("s5@example.org"));
    EXPECT_EQ(first.s_Subject, QStringLiteral("Subject 5"));
    EXPECT_EQ(general_date::parse(first.s_ReceivedDate), QDateTime(QDate(2024, 3, 19), QTime(10, 0)));
    EXPECT_EQ(first.s_PlainText, QStringLiteral("Body 5"));
    EXPECT_EQ(first.s_HTMLText, QStringLiteral("<p>Body 5</p>"));
    EXPECT_EQ(first.folder, QStringLiteral("Inbox"));  // the folder as the user chose it
    EXPECT_TRUE(component_->calls.contains(QStringLiteral("fetch 5 0")));  // a sequence number, not a UID
}

TEST_F(SessionTest, FailedConnectShowsBothBoxesAndFetchesNothing)
{
    session_->Password = QStringLiteral("wrong");
    session_->StartMailExtraction(QStringLiteral("Inbox"), 1, 3);
    ASSERT_EQ(boxes_.shown.size(), 2u);
    EXPECT_EQ(boxes_.shown[1].text, QStringLiteral("Connection failed. Check username and password."));
    EXPECT_TRUE(delivered_.empty());

    boxes_.shown.clear();
    session_->Password = QStringLiteral("secret");
    session_->StartMailExtraction(QStringLiteral("Nowhere"), 1, 3);
    EXPECT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(log().count("login refused"), 1);  // the reason behind each box, nothing fetched
    EXPECT_EQ(log().count("fetched"), 0);
}

TEST_F(SessionTest, StopDuringAFetchDeliversNothingMoreAndIsAnsweredToEveryPoll)
{
    component_->onFetch = [this](int n) {
        if (n == 7) {
            session_->AbortProcess = true;
            bool abort = false;
            session_->abortCheck(abort);
            EXPECT_TRUE(abort);
        }
    };
    session_->StartMailExtraction(QStringLiteral("Inbox"), 1, 20);
    EXPECT_EQ(deliveredNumbers(), std::vector<int>({1, 2, 3, 4, 5, 6}));
    EXPECT_FALSE(component_->calls.contains(QStringLiteral("fetch 8 0")));
}

TEST_F(SessionTest, AFetchRefusedAsStopComesEndsTheRunAndIsCounted)
{
    component_->failFetches = {7, 8};
    component_->onFetch = [this](int n) { session_->AbortProcess = session_->AbortProcess || n == 7; };
    session_->StartMailExtraction(QStringLiteral("Inbox"), 1, 20);
    EXPECT_EQ(deliveredNumbers(), std::vector<int>({1, 2, 3, 4, 5, 6}));
    EXPECT_FALSE(component_->calls.contains(QStringLiteral("fetch 8 0")));
    EXPECT_EQ(component_->calls.last(), QStringLiteral("end run"));
    // Message 7 was refused, which Stop does not undo; nothing after it was tried.
    EXPECT_EQ(session_->Shortfall.notRead, 1);
}

TEST_F(SessionTest, TheLoopKeepsTheSessionAliveWhenItsOwnerLetsGo)
{
    std::weak_ptr<clsChilkatIMAP> watcher = session_;
    auto* raw = session_.get();
    raw->MailExtractListing = [this, raw](EmailRecord&& m, int uID) {
        delivered_.push_back({std::move(m), uID});
        if (uID == 2) {
            raw->AbortProcess = true;
            session_.reset();  // what Stop does to the window's reference
        }
    };
    raw->StartMailExtraction(QStringLiteral("Inbox"), 1, 5);
    EXPECT_EQ(deliveredNumbers(), std::vector<int>({1, 2}));
    EXPECT_TRUE(watcher.expired());
    EXPECT_EQ(component_->notifications(), nullptr);
}

TEST_F(SessionTest, ProgressIsRelayedAsScrapProgress)
{
    std::vector<int> percents;
    session_->ScrapProgress = [&](int percent) { percents.push_back(percent); };
    session_->StartMailExtraction(QStringLiteral("Inbox"), 1, 1);
    EXPECT_EQ(percents, std::vector<int>({0, 100}));
}

TEST_F(SessionTest, AnUnwritableErrorLogNeverStopsTheLoopAndIsToldAfterIt)
{
    QFile blocker(logDir_.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    qputenv("TEMP", blocker.fileName().toUtf8());
    EXPECT_NO_THROW(session_->StartMailExtraction(QStringLiteral("Inbox"), 1, 3));
    EXPECT_EQ(deliveredNumbers(), std::vector<int>({1, 2, 3}));
    EXPECT_EQ(takeErrorLogTrouble(),
              QStringLiteral("The error log %1/errorlog.txt could not be written at all: Not a directory.").arg(blocker.fileName()));
}

// A run that cannot even sign in reads none of its range.
TEST_F(SessionTest, ARunThatCannotSignInCountsItsWholeRange)
{
    session_->Password = QStringLiteral("wrong");
    session_->StartMailExtraction(QStringLiteral("Inbox"), 3, 12);
    EXPECT_EQ(session_->Shortfall.notRead, 10);
    EXPECT_EQ(session_->Shortfall.firstReason, QStringLiteral("login refused"));
    EXPECT_TRUE(component_->calls.filter(QStringLiteral("run ")).isEmpty());
}

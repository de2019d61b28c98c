// The real main window and IMAP component against servers that misbehave:
// Stop must end the run, memory must stay bounded, and nothing may end as if
// all went well.
#include "platform/xlsx/xlsx_spreadsheet.h"
#include "support/process_memory.h"
#include "support/scripted_imap_server.h"

#include "form1_fixture.h"
#include "platform/mailbox/mailbox_component.h"
#include "program/component_options.h"
#include "program/config.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>

#include <functional>

using namespace tallyhive;
using tallyhive::testing::ScriptedImapServer;

namespace {

constexpr qint64 kMegabyte = 1024 * 1024;

class HostileServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tallyhive::testing::guiApplication();
        savedTemp_ = qgetenv("TEMP");
        qputenv("TEMP", logDir_.path().toUtf8());
        qputenv("TALLYHIVE_READ_TIMEOUT_MS", "10000");
        qputenv("TALLYHIVE_RECONNECT_DELAY_MS", "50");
    }
    void TearDown() override
    {
        window_.reset();
        qputenv("TEMP", savedTemp_);
        for (const char* name : {"TALLYHIVE_READ_TIMEOUT_MS", "TALLYHIVE_RECONNECT_DELAY_MS", "TALLYHIVE_CA_FILE",
                                 "TALLYHIVE_IMAP_HOST", "TALLYHIVE_IMAP_PORT"})
            qunsetenv(name);
    }

    // The window, signed in to a server playing `script`, Inbox chosen.
    Form1& signIn(const ScriptedImapServer::Script& script)
    {
        server_ = std::make_unique<ScriptedImapServer>(script);
        server_->applyEnvironment();
        imapServer_ = tallyhive::imapServerFromConfig();
        window_ = std::make_unique<Form1>(
            Form1Services{boxes_, settings_, spreadsheets_, imapServer_, deployment_, [] { return platform::createImapComponent(tallyhive::imapOptionsFromConfig()); }});
        window_->Form_Load();
        control<QLineEdit>(*window_, "Text1")->setText(script.user);
        control<QComboBox>(*window_, "Combo1")->setCurrentIndex(0);
        control<QLineEdit>(*window_, "Text2")->setText(script.password);
        window_->PushButton1_Click();
        control<QRadioButton>(*window_, "Option3")->click();
        return *window_;
    }

    // Runs Get All and clicks Stop once stopWhen holds (never when empty),
    // checked whenever the window processes events. Returns the time from Stop
    // to the end of the run (or -1 without Stop).
    qint64 getAll(const std::function<bool()>& stopWhen = {})
    {
        QElapsedTimer sinceStop;
        QTimer stopper;
        stopper.setInterval(5);
        QObject::connect(&stopper, &QTimer::timeout, [&] {
            if (sinceStop.isValid() || !stopWhen())
                return;
            sinceStop.start();
            window_->PushButton3_Click();
        });
        if (stopWhen)
            stopper.start();
        resetPeak();
        window_->PushButton3_Click();
        return sinceStop.isValid() ? sinceStop.elapsed() : -1;
    }

    void resetPeak()
    {
        tallyhive::testing::resetPeakResident();
        residentAtStart_ = tallyhive::testing::residentBytes();
    }
    qint64 peakGrowth() const { return tallyhive::testing::peakResidentBytes() - residentAtStart_; }
    // Holds from `ms` after now on.
    static std::function<bool()> after(int ms)
    {
        QElapsedTimer clock;
        clock.start();
        return [clock, ms] { return clock.hasExpired(ms); };
    }
    qint64 logSize() const { return QFileInfo(logDir_.filePath(QStringLiteral("errorlog.txt"))).size(); }
    QString closingBox() const { return boxes_.shown.empty() ? QString() : boxes_.shown.back().text; }

    QTemporaryDir logDir_;
    QTemporaryDir exportDir_;
    QByteArray savedTemp_;
    tallyhive::testing::RecordingMessageBoxes boxes_;
    tallyhive::testing::MemorySettingsStore settings_;
    platform::XlsxSpreadsheetFactory spreadsheets_{platform::WorkbookOptions{exportDir_.path(), false}};
    std::unique_ptr<ScriptedImapServer> server_;
    platform::ImapServer imapServer_;
    const Deployment deployment_ = config::deployment();
    std::unique_ptr<Form1> window_;
    qint64 residentAtStart_ = 0;
};

}  // namespace

TEST_F(HostileServerTest, StopEndsARunWhoseEveryFetchIsRefused)
{
    auto script = ScriptedImapServer::normalMailbox(20000);
    script.fetchAnswer = ScriptedImapServer::FetchAnswer::RefuseMessages;
    signIn(script);
    // Stop once refusals are coming in: earlier, nothing would have been refused yet.
    const qint64 stopToEnd = getAll([this] { return server_->commands().filter(QStringLiteral("UID FETCH")).size() >= 50; });
    EXPECT_GE(stopToEnd, 0);
    EXPECT_LT(stopToEnd, 2000);
    EXPECT_LT(server_->commands().filter(QStringLiteral("UID FETCH")).size(), 20000);
    EXPECT_EQ(window_->listView().rowCount(), 0);
    EXPECT_TRUE(closingBox().startsWith(QStringLiteral("Stopped after reading 0 of the 20000 messages asked for.\r\n\r\n")))
        << closingBox().toStdString();
    EXPECT_TRUE(closingBox().contains(QStringLiteral("is refused"))) << closingBox().toStdString();
    EXPECT_LT(logSize(), 20 * kMegabyte);
}

TEST_F(HostileServerTest, AnAnnouncedHugeCountIsNeitherAllocatedNorTriedOneByOne)
{
    auto script = ScriptedImapServer::normalMailbox(3);
    script.announcedCount = 2147483647;
    script.fetchAnswer = ScriptedImapServer::FetchAnswer::RefuseAll;
    signIn(script);
    QElapsedTimer clock;
    clock.start();
    getAll();
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_LT(peakGrowth(), 200 * kMegabyte);
    ASSERT_EQ(boxes_.shown.size(), 1u) << boxes_.texts().join(u'|').toStdString();
    EXPECT_TRUE(closingBox().startsWith(QStringLiteral("Done, but 2147483647 of the 2147483647 messages asked for could not be read.")))
        << closingBox().toStdString();
    EXPECT_TRUE(closingBox().contains(QStringLiteral("NO Fetch refused.")));
    EXPECT_LT(logSize(), 1000);  // one entry
}

TEST_F(HostileServerTest, EndlessUntaggedDataIsCutOffWithMemoryBounded)
{
    auto script = ScriptedImapServer::normalMailbox(1);
    script.fetchAnswer = ScriptedImapServer::FetchAnswer::Endless;
    signIn(script);
    getAll();
    EXPECT_LT(peakGrowth(), 512 * kMegabyte);
    EXPECT_TRUE(closingBox().startsWith(QStringLiteral("Done, but 1 of the 1 messages"))) << closingBox().toStdString();
    EXPECT_TRUE(closingBox().contains(QStringLiteral("without finishing the command"))) << closingBox().toStdString();
}

TEST_F(HostileServerTest, StopEndsARunStuckInEndlessData)
{
    auto script = ScriptedImapServer::normalMailbox(2);
    script.fetchAnswer = ScriptedImapServer::FetchAnswer::Endless;
    qputenv("TALLYHIVE_RECONNECT_DELAY_MS", "1000");
    signIn(script);
    const qint64 stopToEnd = getAll(after(300));
    EXPECT_GE(stopToEnd, 0);
    EXPECT_LT(stopToEnd, 5000);
    EXPECT_LT(peakGrowth(), 512 * kMegabyte);
}

TEST_F(HostileServerTest, ADrippingServerEndsTheRunWithinSecondsOfStop)
{
    auto script = ScriptedImapServer::normalMailbox(3);
    script.pieceSize = 1;
    script.pieceDelayMs = 100;
    signIn(script);
    const qint64 stopToEnd = getAll(after(500));
    EXPECT_GE(stopToEnd, 0);
    EXPECT_LT(stopToEnd, 5000);
    EXPECT_EQ(window_->listView().rowCount(), 0);
    EXPECT_EQ(closingBox(), QStringLiteral("Stopped after reading 0 of the 3 messages asked for."));  // nothing failed
}

TEST_F(HostileServerTest, AnOverLongMailboxNameFailsNeitherTheSignInNorTheFetch)
{
    auto script = ScriptedImapServer::normalMailbox(3);
    script.longListName = 2 * kMegabyte;
    Form1& window = signIn(script);
    EXPECT_TRUE(window.isConnected());
    EXPECT_TRUE(boxes_.shown.empty()) << boxes_.texts().join(u'|').toStdString();
    getAll();
    EXPECT_EQ(window.listView().rowCount(), 3);
    EXPECT_EQ(boxes_.texts(), QStringList({"Done."}));
}

// A message of mostly attachment: the list keeps little of it, so what the
// run holds on the way is what shows.
TEST_F(HostileServerTest, OneHugeMessageTakesLessThanThreeTimesItsSize)
{
    constexpr qint64 kSize = 96 * kMegabyte;
    auto script = ScriptedImapServer::normalMailbox(2);
    script.generatedNumber = 1;
    script.generatedBytes = kSize;
    script.generatedAttachment = true;
    signIn(script);
    getAll();
    ASSERT_EQ(window_->listView().rowCount(), 2) << boxes_.texts().join(u'|').toStdString();
    EXPECT_EQ(closingBox(), QStringLiteral("Done."));
    EXPECT_LT(peakGrowth(), 3 * kSize) << peakGrowth() / kMegabyte << " MB";
}

TEST_F(HostileServerTest, AServerThatRefusesIdIsStillSignedInTo)
{
    auto script = ScriptedImapServer::normalMailbox(2);
    script.idAnswer = ScriptedImapServer::IdAnswer::Refuse;
    Form1& window = signIn(script);
    EXPECT_TRUE(window.isConnected());
    EXPECT_TRUE(boxes_.shown.empty()) << boxes_.texts().join(u'|').toStdString();
    EXPECT_EQ(server_->commands().filter(QStringLiteral("LOGIN")).size(), 1);
}

namespace {

// What the user presses while a run waits, and where the run waits then.
enum class Press { Disconnect, Stop, SendToExcel, ClearList, GetSome };
enum class Wait {
    Conversion,      // message 1, tens of megabytes of text, is being converted for seconds
    ReadAhead,       // message 1 is listed; the messages asked for ahead trickle in
    ReconnectDelay,  // the connection was cut in message 2; the run waits to reconnect
    UidListing,      // the server takes its time to list the messages' UIDs
};

struct Interruption {
    Press press;
    Wait wait;
    int rows;            // listed when the run has ended
    QString closingBox;  // the run's last box
};

void PrintTo(const Interruption& row, std::ostream* out)
{
    *out << "press " << static_cast<int>(row.press) << " wait " << static_cast<int>(row.wait);
}

const QString kDone = QStringLiteral("Done.");
// Stop and Disconnect are the user's: said as a fact, not as a fault.
const QString kStoppedReadingNone = QStringLiteral("Stopped after reading 0 of the 4 messages asked for.");
const QString kStoppedReadingOne = QStringLiteral("Stopped after reading 1 of the 4 messages asked for.");

class RunInterruptionTest : public HostileServerTest, public ::testing::WithParamInterface<Interruption> {
protected:
    static ScriptedImapServer::Script scriptFor(Wait wait)
    {
        auto script = ScriptedImapServer::normalMailbox(4);
        switch (wait) {
        case Wait::Conversion:
            script.generatedNumber = 1;
            script.generatedBytes = 48 * kMegabyte;
            script.generatedEmptyLines = true;
            break;
        case Wait::ReadAhead:
            script.pieceSize = 32;
            script.pieceDelayMs = 60;
            break;
        case Wait::ReconnectDelay:
            script.dropAtFetch = 2;
            qputenv("TALLYHIVE_RECONNECT_DELAY_MS", "3000");
            break;
        case Wait::UidListing:
            script.listingDelayMs = 3000;
            break;
        }
        return script;
    }

    bool waiting(Wait wait) const
    {
        const Form1& window = *window_;
        switch (wait) {
        case Wait::Conversion:
            // Message 1 has come whole and the others with it; nothing is listed yet.
            return window.statusText() == QStringLiteral("Reading mail 1 of 4") && control<tallyhive::StatusProgressBar>(window, "ProgressBar1")->position() == 100
                && window.listView().rowCount() == 0;
        case Wait::ReadAhead:
            return window.listView().rowCount() == 1;
        case Wait::ReconnectDelay:
            return window.statusText().startsWith(QStringLiteral("Connection lost"));
        case Wait::UidListing:
            return server_->commands().contains(QStringLiteral("FETCH 1:4 (UID RFC822.SIZE)"));
        }
        return false;
    }

    void press(Press what)
    {
        Form1& window = *window_;
        switch (what) {
        case Press::Disconnect:
            window.PushButton1_Click();
            break;
        case Press::Stop:
            window.PushButton3_Click();
            break;
        case Press::SendToExcel:
            window.PushButton4_Click();
            break;
        case Press::ClearList:
            window.PushButton7_Click();
            break;
        case Press::GetSome:
            window.PushButton2_Click();
            break;
        }
    }
};

}  // namespace

// Whatever is pressed wherever a run waits, the run ends soon when asked to,
// with a closing box that counts what was not read, and nothing else breaks it.
TEST_P(RunInterruptionTest, EndsSoonWithAnHonestCountAndTheNextRunWorks)
{
    const Interruption& row = GetParam();
    const auto script = scriptFor(row.wait);
    Form1& window = signIn(script);
    ASSERT_TRUE(window.isConnected());

    QElapsedTimer sincePress;
    QString statusBefore;
    QString statusAfter;
    QTimer watcher;
    watcher.setInterval(5);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (sincePress.isValid() || !waiting(row.wait))
            return;
        sincePress.start();
        statusBefore = window.statusText();
        press(row.press);
        statusAfter = window.statusText();
        server_->calmDown();  // what follows reads normally
    });
    watcher.start();
    window.PushButton3_Click();
    watcher.stop();
    const qint64 pressToEnd = sincePress.elapsed();

    ASSERT_TRUE(sincePress.isValid()) << "the run never waited there";
    if (row.press == Press::Disconnect || row.press == Press::Stop) {
        // Well within the conversion's own time: the run does not wait for it.
        EXPECT_LT(pressToEnd, row.wait == Wait::Conversion ? 500 : 2000);
    }
    if (row.press == Press::SendToExcel) {
        EXPECT_EQ(statusAfter, statusBefore);  // the run's progress is back
    }
    EXPECT_EQ(window.listView().rowCount(), row.rows);
    EXPECT_EQ(closingBox(), row.closingBox);
    EXPECT_EQ(window.statusText(), QStringLiteral("Progress Bar"));

    if (!window.isConnected()) {
        control<QLineEdit>(window, "Text1")->setText(script.user);
        control<QLineEdit>(window, "Text2")->setText(script.password);
        window.PushButton1_Click();
        ASSERT_TRUE(window.isConnected()) << boxes_.texts().join(u'|').toStdString();
    }
    boxes_.shown.clear();
    getAll();
    EXPECT_EQ(window.listView().rowCount(), 4);
    EXPECT_EQ(boxes_.texts(), QStringList({"Done."}));
}

INSTANTIATE_TEST_SUITE_P(
    EveryPressInEveryWait, RunInterruptionTest,
    ::testing::Values(Interruption{Press::Disconnect, Wait::Conversion, 0, kStoppedReadingNone},
                      Interruption{Press::Stop, Wait::Conversion, 0, kStoppedReadingNone},
                      Interruption{Press::SendToExcel, Wait::Conversion, 4, kDone},
                      Interruption{Press::ClearList, Wait::Conversion, 4, kDone},
                      Interruption{Press::GetSome, Wait::Conversion, 4, kDone},
                      Interruption{Press::Disconnect, Wait::ReadAhead, 0, kStoppedReadingOne},
                      Interruption{Press::Stop, Wait::ReadAhead, 1, kStoppedReadingOne},
                      Interruption{Press::SendToExcel, Wait::ReadAhead, 4, kDone},
                      Interruption{Press::ClearList, Wait::ReadAhead, 3, kDone},
                      Interruption{Press::GetSome, Wait::ReadAhead, 4, kDone},
                      Interruption{Press::Disconnect, Wait::ReconnectDelay, 0, kStoppedReadingOne},
                      Interruption{Press::Stop, Wait::ReconnectDelay, 1, kStoppedReadingOne},
                      Interruption{Press::SendToExcel, Wait::ReconnectDelay, 4, kDone},
                      Interruption{Press::ClearList, Wait::ReconnectDelay, 3, kDone},
                      Interruption{Press::GetSome, Wait::ReconnectDelay, 4, kDone},
                      Interruption{Press::Disconnect, Wait::UidListing, 0, kStoppedReadingNone},
                      Interruption{Press::Stop, Wait::UidListing, 0, kStoppedReadingNone},
                      Interruption{Press::SendToExcel, Wait::UidListing, 4, kDone},
                      Interruption{Press::ClearList, Wait::UidListing, 4, kDone},
                      Interruption{Press::GetSome, Wait::UidListing, 4, kDone}));

// A server that takes every reconnect and cuts every fetch costs the run
// three reconnects in all, not three for every message.
TEST_F(HostileServerTest, ReconnectsThatBringNoMessageEndTheRunAfterThreeInARow)
{
    auto script = ScriptedImapServer::normalMailbox(20);
    script.dropEveryFetch = true;
    signIn(script);
    const int before = server_->connections();
    getAll();
    EXPECT_EQ(server_->connections() - before, 3);  // the run goes on with the signed-in one: three reconnects
    EXPECT_EQ(window_->listView().rowCount(), 0);
    EXPECT_TRUE(closingBox().startsWith(QStringLiteral("Done, but 20 of the 20 messages asked for could not be read.")))
        << closingBox().toStdString();
}

// Each connection and each SELECT costs a round trip: Get All reads with the
// signed-in connection, and the folder it just counted stays selected.
TEST_F(HostileServerTest, GetAllGoesOnWithTheSignedInConnectionAndTheFolderItCounted)
{
    signIn(ScriptedImapServer::normalMailbox(5));
    const int before = server_->connections();
    getAll();
    EXPECT_EQ(server_->connections() - before, 0);
    EXPECT_EQ(server_->commands().filter(QStringLiteral("SELECT ")).size(), 1);
    EXPECT_EQ(window_->listView().rowCount(), 5);
    EXPECT_EQ(closingBox(), QStringLiteral("Done."));
}

// Sizes listed as 1 byte do not let the window ask for, and take in, many
// large messages at once: what it holds is counted as it arrives.
TEST_F(HostileServerTest, SizesListedFarTooSmallDoNotWidenTheWindow)
{
    constexpr qint64 kSize = 16 * kMegabyte;
    auto script = ScriptedImapServer::normalMailbox(12);
    script.generatedNumber = 1;
    script.generatedCount = 12;
    script.generatedBytes = kSize;
    script.generatedAttachment = true;
    script.listedSize = 1;
    signIn(script);
    getAll();
    ASSERT_EQ(window_->listView().rowCount(), 12) << boxes_.texts().join(u'|').toStdString();
    EXPECT_EQ(closingBox(), QStringLiteral("Done."));
    EXPECT_LT(peakGrowth(), 8 * kSize) << peakGrowth() / kMegabyte << " MB";
}

#include "app/error_log.h"
#include "app/error_report.h"
#include "app/numbered_handler.h"
#include "interfaces/error.h"
#include "support/recording_message_boxes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tallyhive;

namespace {
const QString Load = QStringLiteral("in TallyhiveApp2/19/2015.Form1.Form_Load ");
}

TEST(ApplicationError, MessageKeepsLocationAndLineOnOneLineAndAsksForAScreenshot)
{
    setSupportAddress(QStringLiteral("help@corvanta.test"));
    EXPECT_EQ(applicationErrorText(QStringLiteral("Type mismatch"), Load, 102),
              QStringLiteral("Type mismatch\r\nin TallyhiveApp2/19/2015.Form1.Form_Load at line 102\r\r"
                             "Please email screenshot of this message to help@corvanta.test"));
    EXPECT_TRUE(applicationErrorText(QString(), Load, 0).startsWith(QStringLiteral("\r\nin TallyhiveApp")));
}

TEST(NumberedHandler, ReportsAFailingStepOnceAndGoesOnWithTheNext)
{
    tallyhive::testing::RecordingMessageBoxes boxes;
    NumberedHandler handler(boxes, Load);
    QStringList ran;
    handler.step(100, [&] { ran << "100"; throw AppError(QStringLiteral("boom")); });
    handler.step(102, [&] { ran << "102"; });
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.startsWith(QStringLiteral("boom\r\n") + Load + QStringLiteral("at line 100")));
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Application Error"));
    EXPECT_EQ(boxes.shown[0].icon, platform::BoxIcon::Exclamation);
    EXPECT_EQ(ran, QStringList({"100", "102"}));
}

TEST(NumberedHandler, AFailingTestTakesTheBranchOfATrueTest)
{
    tallyhive::testing::RecordingMessageBoxes boxes;
    NumberedHandler handler(boxes, Load);
    EXPECT_TRUE(handler.test(160, [] () -> bool { throw std::runtime_error("Type mismatch"); }));
    EXPECT_FALSE(handler.test(178, [] { return false; }));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.contains(QStringLiteral("at line 160")));
}

TEST(NumberedHandler, ExtensionIsComputedWhenTheReportIsShown)
{
    tallyhive::testing::RecordingMessageBoxes boxes;
    NumberedHandler handler(boxes, Load);
    QString subject = QStringLiteral("first");
    handler.setExtension([&] { return QStringLiteral("|") + subject; });
    subject = QStringLiteral("second");
    handler.report(7, QStringLiteral("x"));
    EXPECT_TRUE(boxes.shown.at(0).text.endsWith(QStringLiteral("|second")));
}

class ErrorLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedTemp_ = qgetenv("TEMP");
        savedTmpdir_ = qgetenv("TMPDIR");
        savedRuntime_ = qgetenv("XDG_RUNTIME_DIR");
        qputenv("TEMP", dir.path().toUtf8());
    }
    void TearDown() override
    {
        qputenv("TEMP", savedTemp_);
        qputenv("TMPDIR", savedTmpdir_);
        qputenv("XDG_RUNTIME_DIR", savedRuntime_);
        takeErrorLogTrouble();
    }
    QByteArray savedTemp_, savedTmpdir_, savedRuntime_;
    QTemporaryDir dir;  // TEMP unless a test says otherwise
};

mode_t modeOf(const QString& path)
{
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

TEST_F(ErrorLogTest, PathIsTempThenTmpdirThenTheSystemFolderNeverTheRoot)
{
    qputenv("TEMP", "/var/tmp/a");
    EXPECT_EQ(errorLogPath(), QStringLiteral("/var/tmp/a/errorlog.txt"));
    qunsetenv("TEMP");
    qputenv("TMPDIR", "/var/tmp/b");
    EXPECT_EQ(errorLogPath(), QStringLiteral("/var/tmp/b/errorlog.txt"));
    qunsetenv("TMPDIR");
    // Then a folder of the user's own, never the shared one itself.
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    EXPECT_EQ(errorLogPath(), runtime.path() + QStringLiteral("/tallyhive/errorlog.txt"));
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(errorLogPath(), QStringLiteral("/tmp/tallyhive-%1/errorlog.txt").arg(::geteuid()));
    EXPECT_NE(errorLogPath(), QStringLiteral("/tmp/errorlog.txt"));
    EXPECT_NE(errorLogPath(), QStringLiteral("/errorlog.txt"));
}

TEST_F(ErrorLogTest, EachEntryAppendsTwoCrlfLinesAndKeepsEarlierOnes)
{
    appendErrorLogEntry(QStringLiteral("first\nsecond line\r\nthird\rfourth\u2028fifth"));
    appendErrorLogEntry(QString());
    QFile log(errorLogPath());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().split('\n');
    // Two entries of two lines each; the text's own line breaks became blanks.
    ASSERT_EQ(lines.size(), 5);
    EXPECT_TRUE(lines[0].endsWith(" : first second line third fourth fifth\r")) << lines[0].toStdString();
    EXPECT_EQ(lines[1], QByteArray(52, '*') + "\r");
    EXPECT_TRUE(lines[2].endsWith(" : \r"));
    EXPECT_EQ(lines[3], QByteArray(52, '*') + "\r");
    EXPECT_TRUE(lines[4].isEmpty());
    EXPECT_EQ(lines.join('\n').count('\r'), 4);
}

TEST_F(ErrorLogTest, EachEntryIsStampedWithTheTimeItWasWritten)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QStringList stamps;
    for (int entry = 0; entry < 2; ++entry) {
        // Each entry comes in a second of its own.
        std::this_thread::sleep_for(std::chrono::milliseconds(1100 - QTime::currentTime().msec()));
        const QDateTime now = QDateTime::currentDateTime();
        appendErrorLogEntry(QStringLiteral("entry"));
        stamps << QString::fromUtf8(contents(errorLogPath()).split('\n').value(entry * 2)).section(QStringLiteral(" : "), 0, 0);
        const QDateTime stamped = QDateTime::fromString(stamps.last(), QStringLiteral("M/d/yyyy h:mm:ss AP"));
        ASSERT_TRUE(stamped.isValid()) << stamps.last().toStdString();
        EXPECT_LE(qAbs(stamped.secsTo(now)), 1) << stamps.last().toStdString();
    }
    QLocale::setDefault(before);
    EXPECT_NE(stamps[0], stamps[1]);
}

TEST_F(ErrorLogTest, TheLogIsReadableByItsOwnerOnly)
{
    appendErrorLogEntry(QStringLiteral("x"));
    EXPECT_EQ(modeOf(errorLogPath()), 0600);
    // One left readable by an earlier version, or by its group alone, is closed at the next entry.
    for (const mode_t readable : {0644, 0640, 0604, 0660}) {
        ASSERT_EQ(::chmod(QFile::encodeName(errorLogPath()).constData(), readable), 0);
        appendErrorLogEntry(QStringLiteral("y"));
        EXPECT_EQ(modeOf(errorLogPath()), 0600) << std::oct << readable;
    }
}

TEST_F(ErrorLogTest, AnEntryGoesToTheFileThePathNamesNow)
{
    appendErrorLogEntry(QStringLiteral("first"));
    // Moved aside, then removed: each time the next entry starts a new log.
    ASSERT_TRUE(QFile::rename(errorLogPath(), dir.filePath(QStringLiteral("old.txt"))));
    appendErrorLogEntry(QStringLiteral("second"));
    ASSERT_TRUE(QFile::remove(errorLogPath()));
    appendErrorLogEntry(QStringLiteral("third"));
    QTemporaryDir other;
    qputenv("TEMP", other.path().toUtf8());
    appendErrorLogEntry(QStringLiteral("fourth"));

    const QByteArray old = contents(dir.filePath(QStringLiteral("old.txt")));
    EXPECT_TRUE(old.contains(" : first\r\n") && !old.contains("second")) << old.toStdString();
    const QByteArray current = contents(dir.filePath(QStringLiteral("errorlog.txt")));
    EXPECT_TRUE(current.contains(" : third\r\n") && !current.contains("second") && !current.contains("fourth"))
        << current.toStdString();
    EXPECT_TRUE(contents(errorLogPath()).contains(" : fourth\r\n"));
}

TEST_F(ErrorLogTest, ALogThatCannotBeWrittenIsToldOnceAndNeverThrows)
{
    QFile blocker(dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    qputenv("TEMP", blocker.fileName().toUtf8());  // a file, not a folder
    appendErrorLogEntry(QStringLiteral("x"));
    appendErrorLogEntry(QStringLiteral("y"));
    EXPECT_EQ(takeErrorLogTrouble(),
              QStringLiteral("The error log %1/errorlog.txt could not be written at all: Not a directory.").arg(blocker.fileName()));
    EXPECT_EQ(takeErrorLogTrouble(), QString());
}

// Writes that fail half way, as on a full disk: the run goes on, the log says
// so once and takes entries again once there is room.
TEST_F(ErrorLogTest, ALogThatFillsUpIsToldOnce)
{
    appendErrorLogEntry(QStringLiteral("before"));
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto savedSignal = ::signal(SIGXFSZ, SIG_IGN);
    rlimit full = saved;
    full.rlim_cur = static_cast<rlim_t>(QFileInfo(errorLogPath()).size());
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &full), 0);
    appendErrorLogEntry(QStringLiteral("lost"));
    appendErrorLogEntry(QStringLiteral("lost too"));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, savedSignal);
    appendErrorLogEntry(QStringLiteral("after"));
    EXPECT_EQ(takeErrorLogTrouble(),
              QStringLiteral("Entries could not be added to the error log %1/errorlog.txt: File too large.").arg(dir.path()));
    const QByteArray log = contents(errorLogPath());
    EXPECT_TRUE(log.contains(" : before\r\n") && log.contains(" : after\r\n") && !log.contains("lost")) << log.toStdString();
}

// Whatever another user may have put at the log's name, before the run or
// between two entries, is left as it is: the log goes to a fresh file beside it.
TEST_F(ErrorLogTest, ANameThatIsNotAPlainFileOfOurOwnIsNeverWritten)
{
    struct Row {
        const char* what;
        std::function<void(const QString& at, const QString& elsewhere)> plant;
        QString reason;
    };
    const bool root = ::geteuid() == 0;
    const std::vector<Row> rows{
        {"a link to a file",
         [](const QString& at, const QString& elsewhere) { ASSERT_TRUE(QFile::link(elsewhere, at)); },
         QStringLiteral("It is a symbolic link")},
        {"a file of another user",
         [](const QString& at, const QString&) {
             QFile file(at);
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
             file.write("theirs\n");
             file.close();
             ASSERT_EQ(::chmod(QFile::encodeName(at).constData(), 0444), 0);
             // Its mode binds no superuser, so then it goes to someone else.
             ASSERT_TRUE(::geteuid() != 0 || ::chown(QFile::encodeName(at).constData(), 65534, 65534) == 0);
         },
         root ? QStringLiteral("It belongs to another user") : QStringLiteral("Permission denied")},
        {"a folder", [](const QString& at, const QString&) { ASSERT_TRUE(QDir().mkdir(at)); },
         QStringLiteral("Is a directory")},
        {"a pipe", [](const QString& at, const QString&) { ASSERT_EQ(::mkfifo(QFile::encodeName(at).constData(), 0600), 0); },
         QStringLiteral("No such device or address")},
        {"a second name of a file",
         [](const QString& at, const QString& elsewhere) {
             ASSERT_EQ(::link(QFile::encodeName(elsewhere).constData(), QFile::encodeName(at).constData()), 0);
         },
         QStringLiteral("It has other names too")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        QTemporaryDir rowDir;
        qputenv("TEMP", rowDir.path().toUtf8());
        const QString at = errorLogPath();
        const QString elsewhere = rowDir.filePath(QStringLiteral("elsewhere"));
        {
            QFile file(elsewhere);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("kept\n");
        }
        ASSERT_EQ(::chmod(QFile::encodeName(elsewhere).constData(), 0604), 0);
        appendErrorLogEntry(QStringLiteral("first"));
        ASSERT_TRUE(QFile::remove(at));
        row.plant(at, elsewhere);
        const QFileInfo planted(at);
        appendErrorLogEntry(QStringLiteral("second"));

        const QStringList fresh = QDir(rowDir.path()).entryList({QStringLiteral("errorlog-??????.txt")}, QDir::Files);
        ASSERT_EQ(fresh.size(), 1);
        const QString freshPath = rowDir.filePath(fresh.first());
        EXPECT_EQ(takeErrorLogTrouble(), QStringLiteral("The error log %1 was refused: %2. The log went to %3 instead.")
                                             .arg(at, row.reason, freshPath));
        EXPECT_TRUE(contents(freshPath).contains(" : second\r\n"));
        EXPECT_EQ(modeOf(freshPath), 0600);
        // Nothing at the name or behind it changed.
        EXPECT_EQ(contents(elsewhere), QByteArray("kept\n"));
        EXPECT_EQ(modeOf(elsewhere), 0604);
        EXPECT_EQ(QFileInfo(at).lastModified(), planted.lastModified());
        EXPECT_EQ(QFileInfo(at).size(), planted.size());
        // The next run tries the usual name again.
        ASSERT_TRUE(QFile::remove(at) || QDir(at).removeRecursively());
        appendErrorLogEntry(QStringLiteral("fourth"));
        EXPECT_EQ(takeErrorLogTrouble(), QString());
        EXPECT_TRUE(contents(at).contains(" : fourth\r\n"));
    }
}

TEST_F(ErrorLogTest, TheUsersOwnFolderIsMadeForHerAloneAndOneTakenByAnotherIsPassedOver)
{
    qunsetenv("TEMP");
    qunsetenv("TMPDIR");
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    appendErrorLogEntry(QStringLiteral("x"));
    EXPECT_EQ(modeOf(runtime.filePath(QStringLiteral("tallyhive"))), 0700);
    EXPECT_TRUE(contents(runtime.filePath(QStringLiteral("tallyhive/errorlog.txt"))).contains(" : x\r\n"));

    QTemporaryDir taken;
    qputenv("XDG_RUNTIME_DIR", taken.path().toUtf8());
    QTemporaryDir another;
    ASSERT_TRUE(QFile::link(another.path(), taken.filePath(QStringLiteral("tallyhive"))));
    appendErrorLogEntry(QStringLiteral("y"));
    EXPECT_TRUE(QDir(another.path()).isEmpty());
    const QStringList fresh = QDir(taken.path()).entryList({QStringLiteral("errorlog-??????.txt")}, QDir::Files);
    ASSERT_EQ(fresh.size(), 1);
    EXPECT_EQ(takeErrorLogTrouble(), QStringLiteral("The error log %1/tallyhive was refused: It is a symbolic link. "
                                                    "The log went to %1/%2 instead.")
                                         .arg(taken.path(), fresh.first()));
    EXPECT_TRUE(contents(taken.filePath(fresh.first())).contains(" : y\r\n"));
}

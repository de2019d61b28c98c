#include "app/error_log.h"
#include "app/error_report.h"
#include "app/numbered_handler.h"
#include "interfaces/error.h"
#include "support/recording_message_boxes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace tallyhive;

namespace {
const QString Load = QStringLiteral("in TallyhiveApp2/19/2015.Form1.Form_Load ");
}

TEST(ApplicationError, MessageKeepsLocationAndLineOnOneLineAndAsksForAScreenshot)
{
    qputenv("TALLYHIVE_SUPPORT_ADDRESS", "help@corvanta.test");
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
    }
    void TearDown() override
    {
        qputenv("TEMP", savedTemp_);
        qputenv("TMPDIR", savedTmpdir_);
    }
    QByteArray savedTemp_, savedTmpdir_;
};

TEST_F(ErrorLogTest, PathIsTempThenTmpdirThenTheSystemFolderNeverTheRoot)
{
    qputenv("TEMP", "/var/tmp/a");
    EXPECT_EQ(errorLogPath(), QStringLiteral("/var/tmp/a/errorlog.txt"));
    qunsetenv("TEMP");
    qputenv("TMPDIR", "/var/tmp/b");
    EXPECT_EQ(errorLogPath(), QStringLiteral("/var/tmp/b/errorlog.txt"));
    qunsetenv("TMPDIR");
    EXPECT_EQ(errorLogPath(), QDir(QDir::tempPath()).filePath(QStringLiteral("errorlog.txt")));
    EXPECT_NE(errorLogPath(), QStringLiteral("/errorlog.txt"));
}

TEST_F(ErrorLogTest, EachEntryAppendsTwoCrlfLinesAndKeepsEarlierOnes)
{
    QTemporaryDir dir;
    qputenv("TEMP", dir.path().toUtf8());
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

TEST_F(ErrorLogTest, TheLogIsReadableByItsOwnerOnly)
{
    QTemporaryDir dir;
    qputenv("TEMP", dir.path().toUtf8());
    const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    const auto others = QFileDevice::ReadGroup | QFileDevice::ReadOther;
    appendErrorLogEntry(QStringLiteral("x"));
    EXPECT_FALSE(QFile(errorLogPath()).permissions().testAnyFlags(others));
    // One left readable by an earlier version is closed at the next entry.
    ASSERT_TRUE(QFile::setPermissions(errorLogPath(), ownerOnly | others));
    appendErrorLogEntry(QStringLiteral("y"));
    EXPECT_FALSE(QFile(errorLogPath()).permissions().testAnyFlags(others));
    EXPECT_TRUE(QFile(errorLogPath()).permissions().testFlags(ownerOnly));
}

TEST_F(ErrorLogTest, AnEntryGoesToTheFileThePathNamesNow)
{
    QTemporaryDir dir;
    qputenv("TEMP", dir.path().toUtf8());
    appendErrorLogEntry(QStringLiteral("first"));
    // Moved aside, then removed: each time the next entry starts a new log.
    ASSERT_TRUE(QFile::rename(errorLogPath(), dir.filePath(QStringLiteral("old.txt"))));
    appendErrorLogEntry(QStringLiteral("second"));
    ASSERT_TRUE(QFile::remove(errorLogPath()));
    appendErrorLogEntry(QStringLiteral("third"));
    QTemporaryDir other;
    qputenv("TEMP", other.path().toUtf8());
    appendErrorLogEntry(QStringLiteral("fourth"));

    const auto contents = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
    };
    const QByteArray old = contents(dir.filePath(QStringLiteral("old.txt")));
    EXPECT_TRUE(old.contains(" : first\r\n") && !old.contains("second")) << old.toStdString();
    const QByteArray current = contents(dir.filePath(QStringLiteral("errorlog.txt")));
    EXPECT_TRUE(current.contains(" : third\r\n") && !current.contains("second") && !current.contains("fourth"))
        << current.toStdString();
    EXPECT_TRUE(contents(errorLogPath()).contains(" : fourth\r\n"));
}

TEST_F(ErrorLogTest, AnUnwritableLogIsAnError)
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    qputenv("TEMP", blocker.fileName().toUtf8());  // a file, not a folder
    EXPECT_THROW(appendErrorLogEntry(QStringLiteral("x")), AppError);
}

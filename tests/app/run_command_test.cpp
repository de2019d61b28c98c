#include "app/run_command.h"
#include "interfaces/error.h"
#include "support/recording_message_boxes.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

using tallyhive::RunCommand;

TEST(RunCommand, ReturnsExactlyWhatTheCommandPrinted)
{
    EXPECT_EQ(RunCommand(QStringLiteral("true"), true, false, false), QString());
    // Like a command line typed at a prompt: double quotes group an argument.
    EXPECT_EQ(RunCommand(QStringLiteral("printf \"a b\\nc\""), true, false, false), QStringLiteral("a b\nc"));
}

TEST(RunCommand, AMissingCommandGivesTheFixedText)
{
    EXPECT_EQ(RunCommand(QStringLiteral("/no/such/command --x"), true, false, false),
              QStringLiteral("Failed to create process, check the path of the command line."));
}

TEST(RunCommand, LongOutputArrivesWholeAndInOrder)
{
    const QString output = RunCommand(QStringLiteral("seq 1 5000"), true, false, true);
    QStringList expected;
    for (int i = 1; i <= 5000; ++i)
        expected << QString::number(i);
    EXPECT_EQ(output, expected.join(u'\n') + u'\n');
    EXPECT_GT(output.size(), 1024);
}

TEST(RunCommand, ChannelsAreCapturedAsAsked)
{
    const QString script = QStringLiteral("sh -c \"echo out; sleep 0.1; echo err >&2; sleep 0.1; echo out2\"");
    EXPECT_EQ(RunCommand(script, true, true, false), QStringLiteral("out\nerr\nout2\n"));
    EXPECT_EQ(RunCommand(script, true, false, false), QStringLiteral("out\nout2\n"));
    EXPECT_EQ(RunCommand(script, false, true, false), QStringLiteral("err\n"));
    EXPECT_THROW(RunCommand(script, false, false, false), tallyhive::AppError);
}

TEST(RunCommand, MultiByteCharactersSplitAcrossReadsStayWhole)
{
    // 1023 ASCII bytes put the two bytes of "é" on either side of a read.
    const QString output = RunCommand(QStringLiteral("sh -c \"printf %1023s x; printf \\\\303\\\\251\""), true, false, false);
    EXPECT_TRUE(output.endsWith(QStringLiteral("x\u00e9"))) << qPrintable(output.right(5));
}

TEST(RunCommand, ALimitEndsACommandThatNeverCloses)
{
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(RunCommand(QStringLiteral("sleep 30"), true, false, false, 300), QString());
    EXPECT_LT(clock.elapsed(), 10000);
}

TEST(CheckOnline, WarnsOnlyWhenNoReplyCame)
{
    tallyhive::testing::RecordingMessageBoxes boxes;
    tallyhive::CheckOnline(boxes, QString());
    EXPECT_TRUE(boxes.shown.empty());

    tallyhive::CheckOnline(boxes, QStringLiteral("-f"));  // not a host name: never reaches the command line
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("You must be online to use this software accurately."));
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Tallyhive"));
    EXPECT_EQ(boxes.shown[0].icon, tallyhive::platform::BoxIcon::None);

    boxes.shown.clear();
    tallyhive::CheckOnline(boxes, QStringLiteral("127.0.0.1"));
    EXPECT_TRUE(boxes.shown.empty());
}

#include "program/command_line.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace tallyhive;

namespace {

struct CommandLineCase {
    QStringList arguments;
    std::optional<int> exitCode;  // nothing: the window opens
    QString out;                  // a part of what goes to stdout
    QString err;                  // all that goes to stderr
};

}  // namespace

TEST(CommandLine, AnswersHelpAndVersionRefusesWhatItDoesNotTakeAndLeavesQtItsOptions)
{
    int argc = 1;
    char name[] = "command_line_test";
    char* argv[] = {name, nullptr};
    const QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral("9.8.7"));

    const QString unknown = QStringLiteral("tallyhive: Unknown option 'verison'.\nTry 'tallyhive --help' for what it takes.\n");
    const CommandLineCase cases[] = {
        {{QStringLiteral("tallyhive")}, std::nullopt, {}, {}},
        {{QStringLiteral("tallyhive"), QStringLiteral("-platform"), QStringLiteral("offscreen")}, std::nullopt, {}, {}},
        {{QStringLiteral("tallyhive"), QStringLiteral("-style=fusion"), QStringLiteral("-reverse")}, std::nullopt, {}, {}},
        {{QStringLiteral("tallyhive"), QStringLiteral("--microsoft-setup")}, std::nullopt, {}, {}},
        {{QStringLiteral("tallyhive"), QStringLiteral("--forget")}, 0, QStringLiteral("forgotten"), {}},
        {{QStringLiteral("tallyhive"), QStringLiteral("--version")}, 0, QStringLiteral("tallyhive 9.8.7\n"), {}},
        {{QStringLiteral("/usr/bin/tallyhive"), QStringLiteral("-v")}, 0, QStringLiteral("tallyhive 9.8.7\n"), {}},
        {{QStringLiteral("tallyhive"), QStringLiteral("--help")}, 0, QStringLiteral("  -v, --version"), {}},
        {{QStringLiteral("tallyhive"), QStringLiteral("-h")}, 0, QStringLiteral("  TALLYHIVE_PING_HOST "), {}},
        {{QStringLiteral("tallyhive"), QStringLiteral("--verison"), QStringLiteral("--help")}, 0, QStringLiteral("Usage: "), {}},
        {{QStringLiteral("tallyhive"), QStringLiteral("--verison")}, 1, {}, unknown},
        {{QStringLiteral("tallyhive"), QStringLiteral("mail.eml")}, 1, {},
         QStringLiteral("tallyhive: Unexpected argument 'mail.eml'.\nTry 'tallyhive --help' for what it takes.\n")},
        {{QStringLiteral("tallyhive"), QStringLiteral("-platform")}, 1, {},
         QStringLiteral("tallyhive: Missing value after '-platform'.\nTry 'tallyhive --help' for what it takes.\n")},
    };
    for (const CommandLineCase& row : cases) {
        SCOPED_TRACE(row.arguments.join(u' ').toStdString());
        const std::optional<CommandLineAnswer> answer =
            answerCommandLine(row.arguments, [] { return CommandLineAnswer{0, QStringLiteral("forgotten\n"), {}}; });
        ASSERT_EQ(answer.has_value(), row.exitCode.has_value());
        if (!answer)
            continue;
        EXPECT_EQ(answer->exitCode, *row.exitCode);
        EXPECT_TRUE(answer->out.contains(row.out)) << answer->out.toStdString();
        EXPECT_EQ(answer->err, row.err);
        // Qt's own options work but are Qt's to describe.
        EXPECT_FALSE(answer->out.contains(QStringLiteral("platformtheme")));
    }
}

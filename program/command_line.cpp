#include "program/command_line.h"

#include "app/texts.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>
#include <vector>

namespace tallyhive {
namespace {

// The options QGuiApplication and QApplication take for themselves; the
// window reads them, so they are no mistake here.
void acceptQtWindowOptions(QCommandLineParser& parser)
{
    static const char* const withValue[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
                                            "qwindowgeometry", "qwindowicon", "qwindowtitle", "session",
                                            "display", "geometry", "style", "stylesheet", "qmljsdebugger"};
    static const char* const switches[] = {"reverse", "widgetcount"};
    for (const char* name : withValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : switches) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

const QCommandLineOption kHelp({QStringLiteral("h"), QStringLiteral("help")}, texts::CommandLineHelpOption);
const QCommandLineOption kVersion({QStringLiteral("v"), QStringLiteral("version")}, texts::CommandLineVersionOption);
const QCommandLineOption kMicrosoftSetup(QStringLiteral("microsoft-setup"), texts::CommandLineSetupOption);
const QCommandLineOption kForget(QStringLiteral("forget"), texts::CommandLineForgetOption);

// Parsed as the window would take them; false when not understood.
bool parse(QCommandLineParser& parser, const QStringList& arguments)
{
    // Qt's window options come with one dash, as -platform offscreen.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(texts::CommandLineDescription);
    parser.addOption(kHelp);
    parser.addOption(kVersion);
    parser.addOption(kMicrosoftSetup);
    parser.addOption(kForget);
    acceptQtWindowOptions(parser);
    return parser.parse(arguments);
}

}  // namespace

std::optional<CommandLineAnswer> answerCommandLine(const QStringList& arguments, const ForgetKeptMail& forget)
{
    const QString program = arguments.isEmpty() ? texts::AppTitle.toLower() : QFileInfo(arguments.first()).fileName();
    QCommandLineParser parser;
    const bool understood = parse(parser, arguments);
    if (parser.isSet(kHelp))
        return CommandLineAnswer{0, parser.helpText() + texts::CommandLineEnvironment, {}};
    if (parser.isSet(kVersion))
        return CommandLineAnswer{0, program + u' ' + QCoreApplication::applicationVersion() + u'\n', {}};
    if (!understood)
        return CommandLineAnswer{1, {}, texts::CommandLineRefused.arg(program, parser.errorText())};
    if (const QStringList extra = parser.positionalArguments(); !extra.isEmpty())
        return CommandLineAnswer{1, {},
                                 texts::CommandLineRefused.arg(program, texts::CommandLineNoArguments.arg(extra.first()))};
    if (parser.isSet(kForget) && forget)
        return forget();
    return std::nullopt;
}

bool asksMicrosoftSetup(const QStringList& arguments)
{
    QCommandLineParser parser;
    return parse(parser, arguments) && parser.isSet(kMicrosoftSetup);
}

std::optional<int> answerCommandLine(int argc, char** argv, const ForgetKeptMail& forget)
{
    // The probe may take arguments of its own out of the list it is given;
    // the window must still get them all.
    std::vector<char*> copy(argv, argv + argc);
    copy.push_back(nullptr);
    int copyCount = argc;
    std::optional<CommandLineAnswer> answer;
    {
        const QCoreApplication probe(copyCount, copy.data());
        answer = answerCommandLine(QCoreApplication::arguments(), forget);
    }
    if (!answer)
        return std::nullopt;
    std::fputs(answer->out.toLocal8Bit().constData(), stdout);
    std::fputs(answer->err.toLocal8Bit().constData(), stderr);
    return answer->exitCode;
}

}  // namespace tallyhive

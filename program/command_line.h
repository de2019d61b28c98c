#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tallyhive {

// What the program says to a command line it answers without a window.
struct CommandLineAnswer {
    int exitCode = 0;
    QString out;
    QString err;
};

// Answers --help and --version, and refuses arguments the program does not
// take; nothing when the window is to open. Qt's own window options (such as
// -platform or -style) are left for the window. Needs a QCoreApplication.
// --forget runs `forget`, which removes the messages kept between runs.
using ForgetKeptMail = std::function<CommandLineAnswer()>;
std::optional<CommandLineAnswer> answerCommandLine(const QStringList& arguments, const ForgetKeptMail& forget = {});

// Whether the arguments ask for the "Microsoft sign-in" dialog at start
// (--microsoft-setup). Needs a QCoreApplication.
bool asksMicrosoftSetup(const QStringList& arguments);

// The same for main(): answers on stdout or stderr through a short-lived
// QCoreApplication, so neither a display nor the network is touched, and
// gives the exit code.
std::optional<int> answerCommandLine(int argc, char** argv, const ForgetKeptMail& forget = {});

}  // namespace tallyhive

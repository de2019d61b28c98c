#include "app/texts.h"
#include "program/application.h"
#include "program/command_line.h"

#include <QGuiApplication>

int main(int argc, char** argv)
{
    QCoreApplication::setApplicationVersion(QStringLiteral(TALLYHIVE_VERSION));
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(tallyhive::texts::DesktopName);
    if (const std::optional<int> answered = tallyhive::answerCommandLine(argc, argv, tallyhive::forgetKeptMail))
        return *answered;
    return tallyhive::runApplication(argc, argv);
}

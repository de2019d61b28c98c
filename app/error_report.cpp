#include "app/error_report.h"

#include "app/texts.h"

namespace tallyhive {
namespace {

QString& supportAddress()
{
    static QString address = QStringLiteral("support@corvanta.com");
    return address;
}

}  // namespace

void setSupportAddress(const QString& address) { supportAddress() = address; }

QString applicationErrorText(const QString& description, const QString& location, int line,
                             const QString& extension)
{
    return description + QStringLiteral("\r\n") + location + texts::AtLine + QString::number(line)
        + QStringLiteral("\r\r") + texts::ScreenshotRequest + supportAddress() + extension;
}

void ShowApplicationError(platform::MessageBoxes& boxes, const QString& location, int line,
                          const QString& description, const QString& extension)
{
    boxes.show(applicationErrorText(description, location, line, extension), texts::ApplicationErrorTitle,
               platform::BoxIcon::Exclamation);
}

}  // namespace tallyhive

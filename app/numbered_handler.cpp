#include "app/numbered_handler.h"

#include "app/error_report.h"
#include "interfaces/error.h"

namespace tallyhive {

NumberedHandler::NumberedHandler(platform::MessageBoxes& boxes, QString location)
    : boxes_(boxes), location_(std::move(location))
{
}

void NumberedHandler::setExtension(std::function<QString()> extension) { extension_ = std::move(extension); }

void NumberedHandler::step(int line, const std::function<void()>& body)
{
    try {
        body();
    } catch (...) {
        report(line, describeCurrentException());
    }
}

bool NumberedHandler::test(int line, const std::function<bool()>& condition)
{
    try {
        return condition();
    } catch (...) {
        report(line, describeCurrentException());
        return true;
    }
}

void NumberedHandler::report(int line, const QString& description)
{
    ShowApplicationError(boxes_, location_, line, description, extension_ ? extension_() : QString());
}

}  // namespace tallyhive

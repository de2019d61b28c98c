#pragma once

#include "interfaces/message_boxes.h"

#include <QString>

#include <functional>

namespace tallyhive {

// A handler made of numbered steps. A step that throws is reported in the
// "Application Error" box under the handler's location and the step's line,
// and the handler goes on with its next step.
class NumberedHandler {
public:
    NumberedHandler(platform::MessageBoxes& boxes, QString location);

    // Text appended to every report of this handler, computed when it is shown.
    void setExtension(std::function<QString()> extension);

    void step(int line, const std::function<void()>& body);
    // A branch test. A failing test counts as holding, so the handler goes on
    // into the branch taken when the test is true.
    bool test(int line, const std::function<bool()>& condition);
    // Reports a failure found without an exception.
    void report(int line, const QString& description);

private:
    platform::MessageBoxes& boxes_;
    QString location_;
    std::function<QString()> extension_;
};

}  // namespace tallyhive

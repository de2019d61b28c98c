#pragma once

#include "interfaces/message_boxes.h"

#include <QString>

namespace tallyhive {

// The address the "Application Error" box asks for a screenshot at; a
// deployment's own is set once, at start-up.
void setSupportAddress(const QString& address);

// The text of the "Application Error" box: the description, the handler's
// location and step, and the request for a screenshot; extension (if any) follows.
QString applicationErrorText(const QString& description, const QString& location, int line,
                             const QString& extension = QString());

void ShowApplicationError(platform::MessageBoxes& boxes, const QString& location, int line,
                          const QString& description, const QString& extension = QString());

}  // namespace tallyhive

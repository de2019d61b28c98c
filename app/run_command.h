#pragma once

#include "interfaces/message_boxes.h"

#include <QString>

#include <optional>

namespace tallyhive {

// Runs a command line with no window and no input and returns what it wrote
// to the captured channels, in the order it arrived. Returns once the command
// has closed its output; a command that outlives `limitMs` is ended there.
// Throws AppError when neither channel is to be captured.
QString RunCommand(const QString& CommandLine, bool CaptureStdOut, bool CaptureStdErr, bool OemToAnsi,
                   std::optional<int> limitMs = std::nullopt);

// One echo request to host; warns when no reply came. Does nothing when no
// host is given.
void CheckOnline(platform::MessageBoxes& boxes, const QString& host);

}  // namespace tallyhive

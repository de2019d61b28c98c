#pragma once

#include <QString>

namespace tallyhive {

// errorlog.txt in the user's temporary folder: TEMP, else TMPDIR, else the
// system's temporary folder (never the filesystem root).
QString errorLogPath();

// Appends the two lines of one entry (time stamp and text, then the rule),
// CRLF-ended; line breaks inside the text become blanks. The log is readable
// by its owner only. Throws AppError when the log cannot be written.
void appendErrorLogEntry(const QString& lastErrorText);

}  // namespace tallyhive

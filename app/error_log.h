#pragma once

#include <QString>

namespace tallyhive {

// errorlog.txt in the user's temporary folder: TEMP, else TMPDIR, else a
// folder of the user's own (never the shared temporary folder itself, never
// the filesystem root): "tallyhive" in XDG_RUNTIME_DIR when that can be
// written to, else "tallyhive-UID" in the system's temporary folder.
QString errorLogPath();

// Appends the two lines of one entry (time stamp and text, then the rule),
// CRLF-ended; line breaks inside the text become blanks. The log is readable
// by its owner only. Never throws: a log that cannot be written never stops
// the work that writes it; what went wrong waits in errorLogTrouble().
void appendErrorLogEntry(const QString& text);

// What went wrong with the log since the last call, one sentence per kind of
// trouble and CRLF between them; empty when nothing did. Where the usual file
// was refused and the log went to a fresh one beside it, the next entry after
// this call tries the usual file again.
QString takeErrorLogTrouble();

}  // namespace tallyhive

#pragma once

#include <gmime/gmime.h>

#include <QByteArray>

// Shapes of real-world mail that GMime reads differently from other readers,
// losing text. Each repair gives bytes GMime then reads as those readers do.
namespace tallyhive::platform::mime {

// Old Mac mail programs end lines with a lone CR, which GMime does not take for
// a line break: the whole message would be one header. When the first line
// ends in one, every lone CR (not before LF or CR LF) becomes LF, so the size
// stays the same; other messages come back untouched (a lone CR in a body is
// turned into a line break later anyway).
QByteArray withLoneCarriageReturnsAsLineFeeds(const QByteArray& raw);

// Where a header block, the message's own or any part's at any depth, runs
// straight into text without the blank line, GMime ends the headers at the
// first line that is not a header and drops that line and all the part's text
// after it; a part whose text follows its boundary line directly, with or
// without headers, can be lost whole. The bytes with the missing blank lines
// added; empty when none is missing.
QByteArray withMissingBlankLines(const QByteArray& raw, GMimeMessage* parsed);

}  // namespace tallyhive::platform::mime

#pragma once

#include <gmime/gmime.h>

#include <QString>

namespace tallyhive::platform::mime {

struct BodyParts {
    GMimePart* plain = nullptr;
    GMimePart* html = nullptr;
};

// The parts whose text is the message's plain and HTML body: the first of each
// kind in reading order that nothing marks as an attachment. Attached messages
// keep their bodies to themselves. A part that only names a file (no
// Content-Disposition) is a body when no unnamed part of its kind is. A
// Content-Type that cannot be read counts as text/plain, as RFC 2045 says.
BodyParts findBodyParts(GMimeMessage* message);

// The charset a part names, even in a Content-Type GMime could not read
// ("text; charset=koi8-r", or the parameter alone); empty when none or for
// nullptr.
QByteArray partCharset(GMimePart* part);

// A charset from partCharset as the decoding functions take it: nullptr when none.
inline const char* charsetName(const QByteArray& charset) { return charset.isEmpty() ? nullptr : charset.constData(); }

// A body part on its way to text. A small part is text at once; a large one
// waits as its bytes with the transfer encoding undone, so that the message's
// own bytes can go before its text is made: holding the message, its bytes
// and its UTF-16 text at once would take over three times the message's size.
struct PendingText {
    QString text;
    QByteArray largeBytes;
    QByteArray charset;
};

// Starts a part's text; nullptr gives an empty text.
PendingText startBodyText(GMimePart* part);

// The part's text, decoded to Unicode with "\n" line breaks. Needs nothing
// parsed any more.
QString finishBodyText(PendingText pending);

}  // namespace tallyhive::platform::mime

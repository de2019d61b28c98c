#pragma once

#include "interfaces/imap_component.h"

#include <QByteArray>
#include <QDateTime>

namespace tallyhive::platform {

// Turns the bytes of one fetched message into its record, all but the date
// text, which the mail layer writes. Never fails: whatever cannot be parsed
// still yields a message (its text as the plain body), and a missing or
// unreadable Date header falls back to internalDate. Time and memory stay
// proportional to the message's size: a message shaped to cost more is kept
// as raw text and says so (keptAsRawText). A caller that hands over the only reference to raw lets its memory go before
// a large body's text is made.
EmailRecord messageFromBytes(QByteArray raw, const QDateTime& internalDate);

}  // namespace tallyhive::platform

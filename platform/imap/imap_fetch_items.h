#pragma once

#include "platform/imap/imap_response_reader.h"

#include <QString>

#include <optional>

namespace tallyhive::platform {

// A response line as text, without its line end.
QString lineText(const QByteArray& raw);
// True for an untagged "* n FETCH (...)" response.
bool isFetch(const ImapResponse& response);
// The value of one item of a FETCH response ("UID", "BODY[]"), or nothing.
const ImapToken* fetchItem(const ImapResponse& response, QByteArrayView name);
// A non-negative number atom, or nothing.
std::optional<qint64> numberOf(const ImapToken* token);
// The size of the message body a FETCH response carries, which does not
// count as untagged chatter.
qint64 bodyBytes(const ImapResponse& response);

}  // namespace tallyhive::platform

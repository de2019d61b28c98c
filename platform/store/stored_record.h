#pragma once

#include "interfaces/email_record.h"

#include <QByteArray>

#include <optional>

namespace tallyhive::platform::stored_record {

// A record as the store keeps it: its fields and packed bodies in one
// piece, closed by a checksum, so that a piece damaged on disk is known
// for what it is and the message is read from the server again.
QByteArray serialised(const EmailRecord& record);
// Nothing when the piece is damaged or of another layout.
std::optional<EmailRecord> restored(const QByteArray& piece);

}  // namespace tallyhive::platform::stored_record

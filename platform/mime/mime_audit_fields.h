#pragma once

#include "interfaces/email_record.h"

#include <gmime/gmime.h>

#include <QByteArray>

namespace tallyhive::platform::mime {

// Fills to, cc, messageId and attachments from the parsed message. bytes:
// what GMime parsed it from; messageCharset as readSender takes it.
void readAuditFields(const QByteArray& bytes, GMimeMessage* message, const char* messageCharset, EmailRecord& result);

}  // namespace tallyhive::platform::mime

#pragma once

#include "interfaces/imap_component.h"

#include <gmime/gmime.h>

#include <QByteArray>

namespace tallyhive::platform::mime {

// Fills from, fromName and fromAddress from the raw value of the From header
// (as rawHeaderValue gives it). messageCharset: the charset the message's text
// names, for raw 8-bit bytes that are not UTF-8; nullptr when none.
void readSender(const QByteArray& rawFrom, GMimeMessage* message, const char* messageCharset, EmailRecord& result);

}  // namespace tallyhive::platform::mime

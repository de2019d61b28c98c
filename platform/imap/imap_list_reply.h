#pragma once

#include "platform/imap/imap_response_reader.h"
#include "interfaces/imap_component.h"

#include <optional>

namespace tallyhive::platform {

// One untagged LIST response (RFC 3501 7.2.2): the attributes, the
// hierarchy delimiter (a quoted character or NIL) and the mailbox name (an
// atom, a quoted string or a literal, in modified UTF-7). Data a server adds
// after the name (RFC 5258's extended items) is passed over. Nothing when
// the response is not a well-formed LIST.
std::optional<MailboxEntry> parseListReply(const ImapResponse& response);

}  // namespace tallyhive::platform

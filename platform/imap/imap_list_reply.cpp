#include "platform/imap/imap_list_reply.h"

#include "platform/imap/imap_mailbox_name.h"

namespace tallyhive::platform {

std::optional<MailboxEntry> parseListReply(const ImapResponse& response)
{
    const auto& data = response.data;
    if (response.truncated || data.size() < 4 || !data[0].isAtom("LIST") || !data[1].isList() || !data[3].isText())
        return std::nullopt;
    const ImapToken& delimiter = data[2];
    if (delimiter.type != ImapToken::Type::Nil && !(delimiter.isText() && delimiter.value.size() <= 1))
        return std::nullopt;
    MailboxEntry entry;
    for (const ImapToken& attribute : data[1].children) {
        if (attribute.type == ImapToken::Type::Atom)
            entry.attributes << QString::fromLatin1(attribute.value);
    }
    entry.delimiter = QString::fromLatin1(delimiter.value);
    entry.listedName = data[3].value;
    entry.name = shownMailboxName(entry.listedName);
    return entry;
}

}  // namespace tallyhive::platform

// Feeds arbitrary server bytes to the response reader in pieces, and what it
// makes of them to the helpers that read mailbox names, folder listings and
// arrival dates.
#include "platform/imap/imap_internal_date.h"
#include "platform/imap/imap_list_reply.h"
#include "platform/imap/imap_mailbox_name.h"
#include "platform/imap/imap_response_reader.h"

#include <cstddef>
#include <cstdint>

using namespace tallyhive::platform;

namespace {

void visit(const ImapToken& token)
{
    if (token.isText()) {
        decodeMailboxName(token.value);
        shownMailboxName(token.value);
        parseInternalDate(token.value);
    }
    for (const ImapToken& child : token.children)
        visit(child);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the piece size, so framing across piece borders is exercised.
    const size_t piece = 1 + data[0] % 64;
    const QByteArrayView stream(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    ImapResponseReader reader;
    for (qsizetype offset = 0; offset < stream.size(); offset += static_cast<qsizetype>(piece)) {
        reader.feed(stream.sliced(offset, qMin<qsizetype>(static_cast<qsizetype>(piece), stream.size() - offset)));
        reader.literalInProgress();
        while (auto response = reader.next()) {
            if (const auto entry = parseListReply(*response))
                entry->selectable();
            for (const ImapToken& token : response->data)
                visit(token);
        }
    }
    return 0;
}

#include "platform/mailbox/mailbox_component.h"

#include "platform/imap/tls_transport.h"
#include "platform/mime/mime_message.h"

namespace tallyhive::platform {

MailboxComponent::MailboxComponent(std::unique_ptr<ImapClient> client) : client_(std::move(client)) {}

std::optional<MailMessage> MailboxComponent::fetchSingle(int number, bool isUid)
{
    auto raw = client_->fetchRaw(number, isUid);
    if (!raw)
        return std::nullopt;
    return messageFromBytes(raw->bytes, raw->internalDate);
}

std::shared_ptr<ImapComponent> createImapComponent()
{
    return std::make_shared<MailboxComponent>(std::make_unique<ImapClient>(std::make_unique<TlsTransport>()));
}

}  // namespace tallyhive::platform

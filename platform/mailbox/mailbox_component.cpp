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

FetchedMessage MailboxComponent::fetchRunMessage(int number)
{
    ImapClient::RawRunMessage raw = client_->fetchRunRaw(number);
    FetchedMessage fetched;
    fetched.status = raw.status;
    if (raw.status == FetchStatus::Fetched)
        fetched.message = messageFromBytes(raw.message.bytes, raw.message.internalDate);
    return fetched;
}

std::shared_ptr<ImapComponent> createImapComponent()
{
    return std::make_shared<MailboxComponent>(std::make_unique<ImapClient>(std::make_unique<TlsTransport>()));
}

}  // namespace tallyhive::platform

#include "platform/mailbox/mailbox_component.h"

#include "platform/imap/tls_transport.h"
#include "platform/mime/mime_message.h"

namespace tallyhive::platform {
namespace {

// How far conversion may run ahead of the caller: enough to keep the second
// thread busy, little enough that memory stays bounded.
constexpr size_t kAheadMessages = 8;
constexpr qint64 kAheadBytes = 16 * 1024 * 1024;

}  // namespace

MailboxComponent::MailboxComponent(std::unique_ptr<ImapClient> client) : client_(std::move(client)) {}

int MailboxComponent::connect(const QString& host)
{
    forgetRun();
    return client_->connect(host);
}

QString MailboxComponent::sendRawCommand(const QString& command)
{
    forgetRun();
    return client_->sendRawCommand(command);
}

int MailboxComponent::login(const QString& user, const QString& password)
{
    forgetRun();
    return client_->login(user, password);
}

int MailboxComponent::authenticateXoauth2(const QString& user, AccessTokenSource tokens)
{
    forgetRun();
    return client_->authenticateXoauth2(user, std::move(tokens));
}

int MailboxComponent::selectMailbox(const QString& mailbox)
{
    forgetRun();
    return client_->selectMailbox(mailbox);
}

std::optional<MailMessage> MailboxComponent::fetchSingle(int number, bool isUid)
{
    forgetRun();
    auto raw = client_->fetchRaw(number, isUid);
    if (!raw)
        return std::nullopt;
    return messageFromBytes(raw->bytes, raw->internalDate);
}

std::optional<QStringList> MailboxComponent::listMailboxes(const QString& reference, const QString& pattern)
{
    forgetRun();
    return client_->listMailboxes(reference, pattern);
}

std::optional<std::vector<MailboxEntry>> MailboxComponent::listMailboxEntries(const QString& reference, const QString& pattern)
{
    forgetRun();
    return client_->listMailboxEntries(reference, pattern);
}

QString MailboxComponent::lastErrorText() const { return runText_.isNull() ? client_->lastErrorText() : runText_; }

void MailboxComponent::disconnect()
{
    forgetRun();
    client_->disconnect();
}

int MailboxComponent::beginFetchRun(int first, int last)
{
    forgetRun();
    nextAhead_ = first;
    return client_->beginFetchRun(first, last);
}

FetchedMessage MailboxComponent::fetchRunMessage(int number)
{
    ahead_.erase(ahead_.begin(), ahead_.lower_bound(number));
    if (!ahead_.count(number))
        handOver(number, client_->fetchRunRaw(number));
    nextAhead_ = qMax(nextAhead_, number + 1);
    // Whatever has come already goes to the converter before this message is
    // waited for, so the second thread works while the caller handles it.
    while (converter_.queued() < kAheadMessages && converter_.queuedBytes() < kAheadBytes && client_->runMessageReady(nextAhead_)) {
        handOver(nextAhead_, client_->fetchRunRaw(nextAhead_));
        ++nextAhead_;
    }
    const Outcome outcome = ahead_.at(number);
    ahead_.erase(number);
    runText_ = outcome.text;
    FetchedMessage fetched;
    fetched.status = outcome.status;
    if (outcome.status == FetchStatus::Fetched) {
        ImapNotifications* sink = client_->notifications();
        fetched.message = converter_.take(number, [sink] {
            bool abort = false;  // a conversion is not abandoned; the poll lets the window breathe
            if (sink)
                sink->abortCheck(abort);
        });
    }
    return fetched;
}

void MailboxComponent::endFetchRun()
{
    forgetRun();
    client_->endFetchRun();
}

void MailboxComponent::handOver(int number, ImapClient::RawRunMessage raw)
{
    ahead_[number] = {raw.status, client_->lastErrorText()};
    if (raw.status == FetchStatus::Fetched)
        converter_.submit(number, std::move(raw.message.bytes), raw.message.internalDate);
}

void MailboxComponent::forgetRun()
{
    converter_.clear();
    ahead_.clear();
    runText_ = QString();
}

std::shared_ptr<ImapComponent> createImapComponent()
{
    return std::make_shared<MailboxComponent>(std::make_unique<ImapClient>(std::make_unique<TlsTransport>()));
}

}  // namespace tallyhive::platform

#include "platform/mailbox/mailbox_component.h"

#include "platform/imap/tls_transport.h"

namespace tallyhive::platform {

MailboxComponent::MailboxComponent(std::unique_ptr<ImapClient> client) : client_(std::move(client)) {}

// What may happen while a fetch run goes on, in one place. The run's caller
// lets the window handle events while it waits, so any command may call in
// here in the middle of a run. None may take the run's messages from it
// behind its back: a call that would talk to the server is refused, with a
// text that says why, until the run has ended; disconnect() ends the run as
// a stop does (see disconnect). A run ended from outside no longer needs the
// connection, so calls after that go ahead.
std::optional<MailResult> MailboxComponent::refusal(const QString& operation) const
{
    if (!run_ || run_->ended())
        return std::nullopt;
    return MailResult{MailStatus::Failed, QStringLiteral("%1 refused: a fetch run is going on; stop it first").arg(operation)};
}

MailResult MailboxComponent::result(int status) const
{
    switch (status) {
    case 1: return {MailStatus::Ok, client_->lastErrorText()};
    case ImapClient::kTokenRefused: return {MailStatus::TokenRefused, client_->lastErrorText()};
    case ImapClient::kMailboxNotServed: return {MailStatus::MailboxNotServed, client_->lastErrorText()};
    default: return {MailStatus::Failed, client_->lastErrorText()};
    }
}

template <typename T>
MailReply<T> MailboxComponent::reply(const QString& operation, const std::function<std::optional<T>()>& call)
{
    MailReply<T> answer;
    if (const auto refused = refusal(operation)) {
        static_cast<MailResult&>(answer) = *refused;
        return answer;
    }
    std::optional<T> value = call();
    answer.text = client_->lastErrorText();
    if (value) {
        answer.status = MailStatus::Ok;
        answer.value = std::move(*value);
    }
    return answer;
}

MailResult MailboxComponent::connect(const QString& host)
{
    if (const auto refused = refusal(QStringLiteral("connect")))
        return *refused;
    return result(client_->connect(host));
}

MailReply<QString> MailboxComponent::sendRawCommand(const QString& command)
{
    return reply<QString>(QStringLiteral("sendRawCommand"), [&]() -> std::optional<QString> {
        QString lines = client_->sendRawCommand(command);
        if (lines.isEmpty())
            return std::nullopt;
        return lines;
    });
}

MailResult MailboxComponent::login(const QString& user, const QString& password)
{
    if (const auto refused = refusal(QStringLiteral("login")))
        return *refused;
    return result(client_->login(user, password));
}

MailResult MailboxComponent::authenticateXoauth2(const QString& user, AccessTokenSource tokens)
{
    if (const auto refused = refusal(QStringLiteral("authenticate")))
        return *refused;
    return result(client_->authenticateXoauth2(user, std::move(tokens)));
}

MailResult MailboxComponent::selectMailbox(const QString& mailbox)
{
    if (const auto refused = refusal(QStringLiteral("selectMailbox")))
        return *refused;
    return result(client_->selectMailbox(mailbox));
}

MailReply<QStringList> MailboxComponent::listMailboxes(const QString& reference, const QString& pattern)
{
    return reply<QStringList>(QStringLiteral("listMailboxes"), [&] { return client_->listMailboxes(reference, pattern); });
}

MailReply<std::vector<MailboxEntry>> MailboxComponent::listMailboxEntries(const QString& reference, const QString& pattern)
{
    return reply<std::vector<MailboxEntry>>(QStringLiteral("listMailboxEntries"),
                                            [&] { return client_->listMailboxEntries(reference, pattern); });
}

// During a run this is the user's "Disconnect": the run ends as on Stop,
// with what it has not delivered counted as not read. The connection closes
// at once, also under a call of the run that is waiting for the server,
// which then fails without waiting further.
void MailboxComponent::disconnect()
{
    if (run_)
        run_->end(QStringLiteral("disconnected while the run was going on"));
    client_->disconnect();
}

MailResult MailboxComponent::beginFetchRun(int first, int last)
{
    if (const auto refused = refusal(QStringLiteral("beginFetchRun")))
        return *refused;
    run_.reset();
    const MailResult begun = result(client_->beginFetchRun(first, last));
    if (begun.ok())
        run_ = std::make_unique<MailboxFetchRun>(*client_, converter_, first);
    return begun;
}

FetchedMessage MailboxComponent::fetchRunMessage(int number)
{
    if (run_)
        return run_->next(number);
    FetchedMessage fetched;
    fetched.status = MailStatus::RunEnded;
    fetched.text = QStringLiteral("fetch %1 failed: no fetch run is going on").arg(number);
    return fetched;
}

void MailboxComponent::endFetchRun()
{
    run_.reset();
    client_->endFetchRun();
}

std::shared_ptr<ImapComponent> createImapComponent(const ImapOptions& options)
{
    return std::make_shared<MailboxComponent>(std::make_unique<ImapClient>(std::make_unique<TlsTransport>(options.caFile), options));
}

}  // namespace tallyhive::platform

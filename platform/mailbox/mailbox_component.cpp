#include "platform/mailbox/mailbox_component.h"

#include "platform/imap/tls_transport.h"
#include "platform/mime/mime_message.h"

namespace tallyhive::platform {

MailboxComponent::MailboxComponent(std::unique_ptr<ImapClient> client) : client_(std::move(client)) {}

// What may happen while a fetch run goes on, in one place. The run's caller
// lets the window handle events while it waits, so any command may call in
// here in the middle of a run. None may take the run's messages from it
// behind its back: a call that would talk to the server is refused, with a
// text that says why, until the run has ended; disconnect() ends the run as
// a stop does (see disconnect). A run ended from outside no longer needs the
// connection, so calls after that go ahead.
bool MailboxComponent::admit(const QString& operation)
{
    ownText_ = QString();
    if (!run_ || run_->ended())
        return true;
    ownText_ = QStringLiteral("%1 refused: a fetch run is going on; stop it first").arg(operation);
    return false;
}

int MailboxComponent::connect(const QString& host)
{
    return admit(QStringLiteral("connect")) ? client_->connect(host) : 0;
}

QString MailboxComponent::sendRawCommand(const QString& command)
{
    return admit(QStringLiteral("sendRawCommand")) ? client_->sendRawCommand(command) : QString();
}

int MailboxComponent::login(const QString& user, const QString& password)
{
    return admit(QStringLiteral("login")) ? client_->login(user, password) : 0;
}

int MailboxComponent::authenticateXoauth2(const QString& user, AccessTokenSource tokens)
{
    return admit(QStringLiteral("authenticate")) ? client_->authenticateXoauth2(user, std::move(tokens)) : 0;
}

int MailboxComponent::selectMailbox(const QString& mailbox)
{
    return admit(QStringLiteral("selectMailbox")) ? client_->selectMailbox(mailbox) : 0;
}

std::optional<EmailRecord> MailboxComponent::fetchSingle(int number, bool isUid)
{
    if (!admit(QStringLiteral("fetchSingle %1").arg(number)))
        return std::nullopt;
    auto raw = client_->fetchRaw(number, isUid);
    if (!raw)
        return std::nullopt;
    return messageFromBytes(raw->bytes, raw->internalDate);
}

std::optional<QStringList> MailboxComponent::listMailboxes(const QString& reference, const QString& pattern)
{
    if (!admit(QStringLiteral("listMailboxes")))
        return std::nullopt;
    return client_->listMailboxes(reference, pattern);
}

std::optional<std::vector<MailboxEntry>> MailboxComponent::listMailboxEntries(const QString& reference, const QString& pattern)
{
    if (!admit(QStringLiteral("listMailboxEntries")))
        return std::nullopt;
    return client_->listMailboxEntries(reference, pattern);
}

QString MailboxComponent::lastErrorText() const { return ownText_.isNull() ? client_->lastErrorText() : ownText_; }

// During a run this is the user's "Disconnect": the run ends as on Stop,
// with what it has not delivered counted as not read. The connection closes
// at once, also under a call of the run that is waiting for the server,
// which then fails without waiting further.
void MailboxComponent::disconnect()
{
    ownText_ = QString();
    if (run_)
        run_->end(QStringLiteral("disconnected while the run was going on"));
    client_->disconnect();
}

int MailboxComponent::beginFetchRun(int first, int last)
{
    if (!admit(QStringLiteral("beginFetchRun")))
        return 0;
    run_.reset();
    const int status = client_->beginFetchRun(first, last);
    if (status == 1)
        run_ = std::make_unique<MailboxFetchRun>(*client_, converter_, first);
    return status;
}

FetchedMessage MailboxComponent::fetchRunMessage(int number)
{
    ownText_ = QString();
    FetchedMessage fetched;
    if (run_)
        fetched = run_->next(number);
    else
        fetched.text = QStringLiteral("fetch %1 failed: no fetch run is going on").arg(number);
    ownText_ = fetched.text;
    return fetched;
}

void MailboxComponent::endFetchRun()
{
    ownText_ = QString();
    run_.reset();
    client_->endFetchRun();
}

std::shared_ptr<ImapComponent> createImapComponent(const ImapOptions& options)
{
    return std::make_shared<MailboxComponent>(std::make_unique<ImapClient>(std::make_unique<TlsTransport>(options.caFile), options));
}

}  // namespace tallyhive::platform

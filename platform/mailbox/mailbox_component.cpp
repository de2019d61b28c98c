#include "platform/mailbox/mailbox_component.h"

#include "platform/imap/tls_transport.h"

#include <limits>

namespace tallyhive::platform {

MailboxComponent::MailboxComponent(std::unique_ptr<ImapClient> client, std::shared_ptr<MessageStore> store)
    : client_(std::move(client)), store_(std::move(store))
{
}

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
    if (!admit(QStringLiteral("connect")))
        return 0;
    host_ = host;
    user_ = mailbox_ = QString();
    return client_->connect(host);
}

QString MailboxComponent::sendRawCommand(const QString& command)
{
    return admit(QStringLiteral("sendRawCommand")) ? client_->sendRawCommand(command) : QString();
}

int MailboxComponent::login(const QString& user, const QString& password)
{
    if (!admit(QStringLiteral("login")))
        return 0;
    user_ = user;
    return client_->login(user, password);
}

int MailboxComponent::authenticateXoauth2(const QString& user, AccessTokenSource tokens)
{
    if (!admit(QStringLiteral("authenticate")))
        return 0;
    user_ = user;
    return client_->authenticateXoauth2(user, std::move(tokens));
}

int MailboxComponent::selectMailbox(const QString& mailbox)
{
    if (!admit(QStringLiteral("selectMailbox")))
        return 0;
    const int status = client_->selectMailbox(mailbox);
    mailbox_ = status == 1 ? mailbox : QString();
    return status;
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
        run_ = startRun(first, last);
    return status;
}

// The messages the store keeps are left out of what the client reads, and
// every other one is kept as it is converted. The UIDs ascend with the
// message numbers, so a stretch of numbers is a stretch of UIDs: a record
// kept for a UID within it that the server no longer lists is of a message
// deleted since.
std::unique_ptr<MailboxFetchRun> MailboxComponent::startRun(int first, int last)
{
    if (!store_ || !store_->inUse() || mailbox_.isEmpty() || user_.isEmpty())
        return std::make_unique<MailboxFetchRun>(*client_, converter_, first);
    const StoredFolder folder{user_, host_, mailbox_, client_->runUidValidity(), MessageConverter::kRules};
    ListedUids listed;
    auto uids = std::make_shared<std::map<int, quint32>>();
    for (const ImapFetchWindow::Entry& entry : client_->runEntries()) {
        listed.uids.push_back(entry.uid);
        (*uids)[static_cast<int>(entry.number)] = entry.uid;
    }
    if (listed.uids.empty())
        return std::make_unique<MailboxFetchRun>(*client_, converter_, first);
    listed.low = first <= 1 ? 0 : listed.uids.front();
    listed.high = last >= client_->numMessages() ? std::numeric_limits<quint32>::max() : listed.uids.back();
    // Keyed anew by message number, node by node: the records are not moved twice.
    std::map<quint32, EmailRecord> byUid = store_->recordsFor(folder, listed);
    std::map<quint32, EmailRecord> stored;
    std::vector<qint64> numbers;
    for (const auto& [number, uid] : *uids) {
        if (auto node = byUid.extract(uid)) {
            node.key() = static_cast<quint32>(number);
            stored.insert(std::move(node));
            numbers.push_back(number);
        }
    }
    client_->leaveOutOfRun(numbers);
    auto keep = [store = store_, folder, uids](int number, const EmailRecord& record) {
        if (const auto found = uids->find(number); found != uids->end())
            store->keep(folder, found->second, record);
    };
    return std::make_unique<MailboxFetchRun>(*client_, converter_, first, std::move(stored), std::move(keep));
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

std::shared_ptr<ImapComponent> createImapComponent(const ImapOptions& options, std::shared_ptr<MessageStore> store)
{
    return std::make_shared<MailboxComponent>(std::make_unique<ImapClient>(std::make_unique<TlsTransport>(options.caFile), options),
                                              std::move(store));
}

}  // namespace tallyhive::platform

#include "platform/mailbox/mailbox_component.h"

#include "platform/imap/tls_transport.h"

#include <QElapsedTimer>

#include <algorithm>
#include <limits>

namespace tallyhive::platform {
namespace {

// Records read back from the store between two turns of the window's events.
constexpr size_t kStoreStretch = 500;
// How long a run waits, all told, for a store another program holds.
constexpr qint64 kStoreWaitMs = 2000;

}  // namespace

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
std::optional<MailResult> MailboxComponent::refusal(const QString& operation) const
{
    if (!run_ || run_->ended())
        return std::nullopt;
    return MailResult{MailStatus::Failed, QStringLiteral("%1 refused: a fetch run is going on; stop it first").arg(operation)};
}

MailResult MailboxComponent::connect(const ImapServer& server)
{
    if (const auto refused = refusal(QStringLiteral("connect")))
        return *refused;
    host_ = server.host;
    user_ = mailbox_ = QString();
    return client_->connect(server);
}

MailReply<QString> MailboxComponent::sendRawCommand(const QString& command)
{
    if (const auto refused = refusal(QStringLiteral("sendRawCommand")))
        return {*refused};
    return client_->sendRawCommand(command);
}

MailResult MailboxComponent::login(const QString& user, const QString& password)
{
    if (const auto refused = refusal(QStringLiteral("login")))
        return *refused;
    user_ = user;
    return client_->login(user, password);
}

MailResult MailboxComponent::authenticateXoauth2(const QString& user, AccessTokenSource tokens)
{
    if (const auto refused = refusal(QStringLiteral("authenticate")))
        return *refused;
    user_ = user;
    return client_->authenticateXoauth2(user, std::move(tokens));
}

MailResult MailboxComponent::selectMailbox(const QString& mailbox)
{
    if (const auto refused = refusal(QStringLiteral("selectMailbox")))
        return *refused;
    const MailResult selected = client_->selectMailbox(mailbox);
    mailbox_ = selected.ok() ? mailbox : QString();
    return selected;
}

MailReply<QStringList> MailboxComponent::listMailboxes(const QString& reference, const QString& pattern)
{
    if (const auto refused = refusal(QStringLiteral("listMailboxes")))
        return {*refused};
    return client_->listMailboxes(reference, pattern);
}

MailReply<std::vector<MailboxEntry>> MailboxComponent::listMailboxEntries(const QString& reference, const QString& pattern)
{
    if (const auto refused = refusal(QStringLiteral("listMailboxEntries")))
        return {*refused};
    return client_->listMailboxEntries(reference, pattern);
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
    const MailResult begun = client_->beginFetchRun(first, last);
    if (begun.ok())
        run_ = startRun(first, last);
    return begun;
}

// The messages the store keeps are left out of what the client reads, and
// every other one is kept as it is converted. The UIDs ascend with the
// message numbers, so a stretch of numbers is a stretch of UIDs: a record
// kept for a UID within it that the server no longer lists is of a message
// deleted since.
std::unique_ptr<MailboxFetchRun> MailboxComponent::startRun(int first, int last)
{
    // Without a UIDVALIDITY the server promises nothing about its UIDs.
    if (!store_ || !store_->inUse() || mailbox_.isEmpty() || user_.isEmpty() || client_->runUidValidity() == 0)
        return std::make_unique<MailboxFetchRun>(*client_, converter_, first);
    const StoredFolder folder{user_, host_, client_->port(), client_->selectedWireName(), client_->runUidValidity(), MessageConverter::kRules};
    // Ascending by number, and so by UID.
    const auto entries = std::make_shared<const std::vector<ImapFetchWindow::Entry>>(client_->runEntries());
    if (entries->empty())
        return std::make_unique<MailboxFetchRun>(*client_, converter_, first);
    ListedUids listed;
    for (const ImapFetchWindow::Entry& entry : *entries)
        listed.uids.push_back(entry.uid);
    listed.low = first <= 1 ? 0 : listed.uids.front();
    listed.high = last >= client_->numMessages() ? std::numeric_limits<quint32>::max() : listed.uids.back();
    // Read back a stretch at a time, with the window let breathe between
    // stretches, and between tries while another program holds the store: a
    // large folder takes a while. A stretch the store cannot give in time is
    // read from the server.
    std::map<quint32, EmailRecord> byUid;
    ImapNotifications* sink = client_->notifications();
    bool stopped = false;
    QElapsedTimer waited;
    waited.start();
    const std::vector<quint32>& all = listed.uids;
    for (size_t start = 0; start < all.size() && !stopped; start += kStoreStretch) {
        const size_t end = std::min(all.size(), start + kStoreStretch);
        ListedUids stretch{{all.begin() + start, all.begin() + end}, start == 0 ? listed.low : all[start - 1] + 1,
                           end == all.size() ? listed.high : all[end - 1]};
        auto kept = store_->recordsFor(folder, stretch);
        while (!kept && !stopped && !waited.hasExpired(kStoreWaitMs)) {
            if (sink)
                sink->abortCheck(stopped);
            kept = store_->recordsFor(folder, stretch);
        }
        if (kept)
            byUid.merge(*kept);
        if (sink)
            sink->abortCheck(stopped);
    }
    // Keyed anew by message number, node by node: the records are not moved twice.
    std::map<quint32, EmailRecord> stored;
    std::vector<qint64> numbers;
    for (const ImapFetchWindow::Entry& entry : *entries) {
        if (auto node = byUid.extract(entry.uid)) {
            node.key() = static_cast<quint32>(entry.number);
            stored.insert(std::move(node));
            numbers.push_back(entry.number);
        }
    }
    client_->leaveOutOfRun(numbers);
    auto keep = [store = store_, folder, entries](int number, const EmailRecord& record) {
        const auto found = std::lower_bound(entries->begin(), entries->end(), number,
                                            [](const ImapFetchWindow::Entry& entry, int n) { return entry.number < n; });
        if (found != entries->end() && found->number == number)
            store->keep(folder, found->uid, record);
    };
    return std::make_unique<MailboxFetchRun>(*client_, converter_, first, std::move(stored), std::move(keep));
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

std::shared_ptr<ImapComponent> createImapComponent(const ImapOptions& options, std::shared_ptr<MessageStore> store)
{
    return std::make_shared<MailboxComponent>(std::make_unique<ImapClient>(std::make_unique<TlsTransport>(options.caFile), options),
                                              std::move(store));
}

}  // namespace tallyhive::platform

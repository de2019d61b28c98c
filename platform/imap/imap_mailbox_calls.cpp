// ImapClient's calls on mailboxes: the listing, with its names made
// distinct and the special-use roles it marks, and selecting one.
#include "platform/imap/imap_client.h"

#include "platform/imap/imap_client_call.h"
#include "platform/imap/imap_command.h"
#include "platform/imap/imap_list_reply.h"
#include "platform/imap/imap_mailbox_name.h"

#include <QHash>

#include <algorithm>

namespace tallyhive::platform {
namespace {

// Two listed names can look alike: "&AGE-" is shown as the server wrote it,
// which is also how "&-AGE-" decodes. Each gets a name of its own, so the
// one chosen opens the mailbox it was shown for; a count per name keeps a
// listing of many such names linear.
struct DistinctNames {
    QHash<QString, QByteArray> listed;
    QHash<QString, int> suffixes;

    QString claim(const QString& shown, const QByteArray& bytes)
    {
        QString name = shown;
        while (true) {
            const auto found = listed.constFind(name);
            if (found == listed.cend()) {
                listed.insert(name, bytes);
                return name;
            }
            if (*found == bytes)
                return name;  // listed twice
            int& suffix = suffixes[shown];
            suffix = std::max(suffix, 1) + 1;
            name = QStringLiteral("%1 (%2)").arg(shown).arg(suffix);
        }
    }
};

}  // namespace

MailResult ImapClient::selectMailbox(const QString& mailbox)
{
    // Counting a folder's messages and then reading them selects it twice
    // in a row: the second would only cost a round trip.
    if (activity_ == Activity::Idle && selected_.byLatestCall && selected_.name == mailbox && signedIn()) {
        selected_.byLatestCall = false;
        return answer(MailStatus::Ok);
    }
    selected_.count = 0;
    Call call(*this, QStringLiteral("selectMailbox"));
    if (!call.ok())
        return answer(MailStatus::Failed);
    return select(mailbox);
}

MailResult ImapClient::select(const QString& mailbox)
{
    const QString operation = QStringLiteral("selectMailbox");
    selected_.count = 0;
    selected_.uidValidity = 0;
    selected_.name.clear();
    selected_.wire.clear();
    const auto listed = listing_.listedNames.constFind(mailbox);
    const QByteArray wireName = listed != listing_.listedNames.cend() ? *listed : encodeMailboxName(mailbox);
    const auto pieces = ImapCommandBuilder(nextTag(), "SELECT").string(wireName).pieces();
    const auto exchange = run(operation, pieces);
    if (!exchange)
        return answer(MailStatus::Failed);
    recordReply(operation, *exchange);
    if (!exchange->ok()) {
        selected_.count = 0;
        return answer(MailStatus::Failed);
    }
    selected_.name = mailbox;
    selected_.wire = wireName;
    selected_.byLatestCall = true;
    return answer(MailStatus::Ok);
}

MailReply<QStringList> ImapClient::listMailboxes(const QString& reference, const QString& pattern)
{
    const auto entries = listMailboxEntries(reference, pattern);
    if (!entries.ok())
        return {entries};
    QStringList names;
    for (const MailboxEntry& entry : entries.value)
        names << entry.name;
    return answer(std::move(names));
}

MailReply<std::vector<MailboxEntry>> ImapClient::listMailboxEntries(const QString& reference, const QString& pattern)
{
    const QString operation = QStringLiteral("listMailboxes");
    Call call(*this, operation);
    if (!call.ok())
        return {answer(MailStatus::Failed)};
    const auto pieces = ImapCommandBuilder(nextTag(), "LIST")
                            .string(encodeMailboxName(reference))
                            .string(encodeMailboxName(pattern))
                            .pieces();
    std::vector<MailboxEntry> entries;
    DistinctNames names;
    int skipped = 0;
    listing_.specialUse.clear();
    const auto exchange = run(operation, pieces, [&](ImapResponse&& response) {
        if (response.truncated) {
            ++skipped;  // a name too long to be one the user could pick
        } else if (auto entry = parseListReply(response)) {
            entry->name = names.claim(entry->name, entry->listedName);
            noteSpecialUse(*entry);
            entries.push_back(std::move(*entry));
        }
    });
    if (!exchange)
        return {answer(MailStatus::Failed)};
    recordReply(operation, *exchange);
    if (!exchange->ok())
        return {answer(MailStatus::Failed)};
    listing_.listedNames = std::move(names.listed);
    if (skipped > 0)
        setError(lastError_ + QStringLiteral(" (%1 over-long replies skipped)").arg(skipped));
    return answer(std::move(entries));
}

// RFC 6154 roles; the first mailbox that claims one keeps it.
void ImapClient::noteSpecialUse(const MailboxEntry& entry)
{
    static const std::array<QString, 4> roles{QStringLiteral("\\drafts"), QStringLiteral("\\sent"), QStringLiteral("\\junk"),
                                              QStringLiteral("\\trash")};
    for (const QString& role : roles) {
        if (entry.has(role))
            listing_.specialUse.try_emplace(role, entry.name);
    }
}

QString ImapClient::specialUseMailbox(const QString& role) const
{
    const auto found = listing_.specialUse.find(role.toLower());
    return found == listing_.specialUse.end() ? QString() : found->second;
}

}  // namespace tallyhive::platform

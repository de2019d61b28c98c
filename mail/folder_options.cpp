#include "mail/folder_options.h"

#include "app/pending_events.h"
#include "app/texts.h"

#include <QSet>

#include <algorithm>
#include <array>
#include <utility>

namespace tallyhive {
namespace {

const std::array<std::pair<QString, QString>, 4>& optionRoles()
{
    static const std::array<std::pair<QString, QString>, 4> roles{{{QStringLiteral("Drafts"), QStringLiteral("\\Drafts")},
                                                                   {QStringLiteral("Sent"), QStringLiteral("\\Sent")},
                                                                   {QStringLiteral("Junk"), QStringLiteral("\\Junk")},
                                                                   {QStringLiteral("Deleted"), QStringLiteral("\\Trash")}}};
    return roles;
}

}  // namespace

QString folderOptionRole(const QString& FolderName)
{
    for (const auto& [option, role] : optionRoles()) {
        if (option == FolderName)
            return role;
    }
    return QString();
}

// Linear in the listing, and the window goes on repainting: a server may
// list hundreds of thousands of folders.
QStringList foldersBesideOptions(const std::vector<platform::MailboxEntry>& entries)
{
    QSet<QString> names;
    names.reserve(static_cast<qsizetype>(entries.size()));
    for (const platform::MailboxEntry& entry : entries) {
        names.insert(entry.name);
        letPendingEventsRun();
    }
    QSet<QString> left;  // reached by an option, or offered already
    for (const auto& [option, role] : optionRoles()) {
        if (names.contains(option)) {
            left.insert(option);
            continue;
        }
        const auto marked = std::find_if(entries.begin(), entries.end(), [&role](const platform::MailboxEntry& e) { return e.has(role); });
        if (marked != entries.end())
            left.insert(marked->name);
    }
    QStringList offered;
    for (const platform::MailboxEntry& entry : entries) {
        // INBOX is the one name whose case does not count.
        const bool inbox = entry.name.compare(QStringLiteral("INBOX"), Qt::CaseInsensitive) == 0;
        if (entry.selectable() && !inbox && !left.contains(entry.name)) {
            left.insert(entry.name);
            offered << entry.name;
        }
        letPendingEventsRun();
    }
    return offered;
}

QStringList optionsServed(const std::vector<platform::MailboxEntry>& entries)
{
    QStringList served{QStringLiteral("Inbox")};
    for (const auto& [option, role] : optionRoles()) {
        const bool listed = std::any_of(entries.begin(), entries.end(), [&, role = role, option = option](const platform::MailboxEntry& e) {
            return e.name == option || e.has(role);
        });
        if (listed)
            served << option;
    }
    return served;
}

OtherFolders otherFoldersOffered(QStringList beside, const QString& chosen, qsizetype most)
{
    // Each name is folded once: comparing without case character by
    // character made sorting a long list take seconds.
    struct Keyed {
        QString folded;
        QString name;
        bool operator<(const Keyed& other) const
        {
            const int order = folded.compare(other.folded);
            return order != 0 ? order < 0 : name < other.name;
        }
    };
    // The first `most` are kept in a heap whose top is the last of them, so
    // a long list costs one comparison a name once the heap is full, and the
    // window repaints all along.
    const auto kept = static_cast<size_t>(most);
    std::vector<Keyed> first;
    first.reserve(kept + 1);
    for (QString& name : beside) {
        Keyed keyed{name.toCaseFolded(), std::move(name)};
        if (first.size() < kept) {
            first.push_back(std::move(keyed));
            std::push_heap(first.begin(), first.end());
        } else if (!first.empty() && keyed < first.front()) {
            std::pop_heap(first.begin(), first.end());
            first.back() = std::move(keyed);
            std::push_heap(first.begin(), first.end());
        }
        letPendingEventsRun();
    }
    OtherFolders result;
    if (beside.size() > most)
        result.cutNote = texts::OtherFoldersCut.arg(most).arg(beside.size());
    if (!chosen.isEmpty() && std::none_of(first.begin(), first.end(), [&chosen](const Keyed& k) { return k.name == chosen; }))
        first.push_back({chosen.toCaseFolded(), chosen});
    std::sort(first.begin(), first.end());
    result.folders.reserve(static_cast<qsizetype>(first.size()));
    for (Keyed& keyed : first)
        result.folders << std::move(keyed.name);
    return result;
}

}  // namespace tallyhive

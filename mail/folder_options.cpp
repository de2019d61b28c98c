#include "mail/folder_options.h"

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

QStringList foldersBesideOptions(const std::vector<platform::MailboxEntry>& entries)
{
    const auto named = [&entries](const QString& name) {
        return std::any_of(entries.begin(), entries.end(), [&name](const platform::MailboxEntry& e) { return e.name == name; });
    };
    QStringList reached;
    for (const auto& [option, role] : optionRoles()) {
        if (named(option)) {
            reached << option;
            continue;
        }
        const auto marked = std::find_if(entries.begin(), entries.end(), [&role](const platform::MailboxEntry& e) { return e.has(role); });
        if (marked != entries.end())
            reached << marked->name;
    }
    QStringList offered;
    for (const platform::MailboxEntry& entry : entries) {
        // INBOX is the one name whose case does not count.
        const bool inbox = entry.name.compare(QStringLiteral("INBOX"), Qt::CaseInsensitive) == 0;
        if (entry.selectable() && !inbox && !reached.contains(entry.name) && !offered.contains(entry.name))
            offered << entry.name;
    }
    return offered;
}

}  // namespace tallyhive

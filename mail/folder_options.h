#pragma once

#include "interfaces/imap_component.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace tallyhive {

// The RFC 6154 role ("\\Sent") a server may give the mailbox that stands for
// a folder option of that name ("Sent") when it has none of the name itself;
// empty for the Inbox and for any other name.
QString folderOptionRole(const QString& FolderName);

// The mailboxes of a listing a user may choose beside the five folder
// options, in the listing's order: those that can be selected, leaving out
// the ones the options already reach (the Inbox, a mailbox of an option's
// name, or the one marked with its role where the name is missing).
QStringList foldersBesideOptions(const std::vector<platform::MailboxEntry>& entries);

// The folder options the listing has a mailbox for, by name or by role, in
// the options' order; the Inbox always.
QStringList optionsServed(const std::vector<platform::MailboxEntry>& entries);

// More would make a drop-down nobody can search by eye, and cost the window
// its speed when the list is filled and opened.
inline constexpr qsizetype kMostOtherFolders = 10000;

// What "Other:" offers: the first `most` folders in alphabetical order
// (letter case counts only between names otherwise equal), and the one
// already chosen even when it is beyond them or not listed at all. When the
// list was cut, `cutNote` says so; otherwise it is empty.
struct OtherFolders {
    QStringList folders;
    QString cutNote;
};
OtherFolders otherFoldersOffered(QStringList beside, const QString& chosen, qsizetype most = kMostOtherFolders);

}  // namespace tallyhive

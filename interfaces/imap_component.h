#pragma once

#include "interfaces/email_record.h"
#include "interfaces/mail_result.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace tallyhive::platform {

// Notifications the component sends while one of its calls blocks.
class ImapNotifications {
public:
    virtual ~ImapNotifications() = default;
    // Polled at least every 50 ms during every blocking call.
    virtual void abortCheck(bool& abort) = 0;
    // Percent of the current call (normally the transfer of one message), 0 to 100.
    virtual void percentDone(int percent) = 0;
    // A fetch run lost its connection and is about to try to open it again.
    virtual void reconnecting(int attempt, int attempts) = 0;
};

// One message of a fetch run; its record's s_ReceivedDate is left to the mail layer.
using FetchedMessage = MailReply<EmailRecord>;

// Hands out OAuth 2.0 access tokens: with refresh false the one at hand
// (refreshed first when it has run out), with refresh true a new one because
// the server refused the last. Not ok() when no token can be had; the text
// then says why, in the sign-in service's words.
using AccessTokenSource = std::function<MailReply<QString>(bool refresh)>;

// One mailbox of a folder listing.
struct MailboxEntry {
    // The whole path as the user is shown it (decoded, or with what cannot be
    // shown spelled out), distinct within its listing; what selectMailbox takes.
    QString name;
    QString delimiter;       // between the levels of the path; empty for a flat mailbox
    QStringList attributes;  // as the server wrote them: "\\Noselect", "\\HasChildren", "\\Sent"
    QByteArray listedName = {};  // the bytes the server listed it by; selectMailbox sends these for name

    bool has(const QString& attribute) const { return attributes.contains(attribute, Qt::CaseInsensitive); }
    // A parent that only holds others, or a name that only appears in a path, cannot be opened.
    bool selectable() const { return !has(QStringLiteral("\\Noselect")) && !has(QStringLiteral("\\NonExistent")); }
};

// Where the mailbox is served.
struct ImapServer {
    QString host;
    int port = 993;
};

// An IMAP client as the session drives it. Calls never throw for protocol
// or network trouble; each answers with its MailResult.
class ImapComponent {
public:
    virtual ~ImapComponent() = default;

    // Opens a connection (TLS) and reads the greeting; ends whatever the previous one held.
    virtual MailResult connect(const ImapServer& server) = 0;
    // Sends one command (without tag); its value is the untagged and tagged
    // response lines, whatever the server's status. Failed when no reply came.
    virtual MailReply<QString> sendRawCommand(const QString& command) = 0;
    virtual MailResult login(const QString& user, const QString& password) = 0;
    // SASL XOAUTH2 with a token from the source; a refused token is replaced
    // by a refreshed one once, on the same connection. A token taken is
    // proven by one command that needs the mailbox. TokenRefused and
    // MailboxNotServed tell those two refusals from a lost connection.
    virtual MailResult authenticateXoauth2(const QString& user, AccessTokenSource tokens) = 0;
    // A name of the latest listing opens the mailbox by the bytes the server
    // listed; any other name is encoded.
    virtual MailResult selectMailbox(const QString& mailbox) = 0;
    // Of the mailbox last selected.
    virtual int numMessages() const = 0;
    // Starts reading the messages first .. last (sequence numbers) of the
    // selected mailbox: learns which messages these are, so that a run whose
    // connection is lost can open it again and go on with the same messages.
    //
    // From here to endFetchRun the run has the component to itself:
    // disconnect() ends it as a stop does (the next fetchRunMessage says
    // RunEnded, within 2 s wherever the run waits), and every other call that
    // talks to the server is refused with a text that says so.
    virtual MailResult beginFetchRun(int first, int last) = 0;
    // Message `number` of the run, asked for in ascending order.
    virtual FetchedMessage fetchRunMessage(int number) = 0;
    // Ends the run; requests still outstanding are dropped.
    virtual void endFetchRun() = 0;
    // An empty list when the server has no mailboxes.
    virtual MailReply<QStringList> listMailboxes(const QString& reference, const QString& pattern) = 0;
    // The same listing with each mailbox's delimiter and attributes.
    virtual MailReply<std::vector<MailboxEntry>> listMailboxEntries(const QString& reference, const QString& pattern) = 0;
    // The mailbox the latest listing marked with an RFC 6154 role ("\\Sent",
    // "\\Drafts", "\\Junk", "\\Trash"); empty when none did.
    virtual QString specialUseMailbox(const QString& role) const = 0;
    // The connection is open and signed in as the latest connect left it, and
    // no run goes on: a caller may go on with it rather than connect again.
    virtual bool signedIn() const = 0;
    virtual void disconnect() = 0;

    virtual void setNotifications(ImapNotifications* sink) = 0;
    virtual ImapNotifications* notifications() const = 0;
};

}  // namespace tallyhive::platform

#pragma once

#include "interfaces/email_record.h"
#include "interfaces/imap_component.h"
#include "interfaces/message_boxes.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace tallyhive {

// How far a fetch run fell short: messages of its range it could not read,
// and why the first of them could not be; or that the user ended it first.
struct RunShortfall {
    qint64 asked = 0;
    qint64 notRead = 0;
    QString firstReason;   // the component's words; never holds the password
    qint64 read = 0;       // delivered through MailExtractListing
    bool stopped = false;  // AbortProcess ended it: the user's Stop or Disconnect
};

// One mailbox session: connection values, the fixed call sequences on the
// shared IMAP component, and the extraction loop. Created per connect or per
// fetch run and shared by counted reference; every operation keeps its own
// while it runs, since a handler run during one may drop all the others.
class clsChilkatIMAP : public platform::ImapNotifications, public std::enable_shared_from_this<clsChilkatIMAP> {
public:
    explicit clsChilkatIMAP(platform::MessageBoxes& boxes);
    ~clsChilkatIMAP() override;

    bool AbortProcess = false;
    int MaxRecord = 0;
    int CurrentLocation = 0;
    // The component instance to drive; the main window made it and shares it
    // with every session. Each call binds it to the session that makes it,
    // so its notifications come back there.
    std::shared_ptr<platform::ImapComponent> ChilkatIMAPObject;
    int PORT = 0;
    QString IMAPServer;
    QString Password;
    QString Username;
    // Set for Microsoft sign-in: Connect authenticates with these tokens
    // instead of logging in with the password.
    platform::AccessTokenSource AccessTokens;
    // Of the latest EnumMailFolders, with each mailbox's delimiter and attributes.
    std::vector<platform::MailboxEntry> MailFolders;
    // Of the latest StartMailExtraction; empty when it read all it was asked for.
    RunShortfall Shortfall;

    // Connects and signs in. A sign-in the server refused (TokenRefused,
    // MailboxNotServed) is left to the caller to tell; any other failure is
    // told here.
    platform::MailResult Connect();
    // The same for a fetch run, which cannot open the browser: a refused
    // sign-in is told here too, with how to sign in again.
    platform::MailResult ConnectForRun();
    void GetLastError();
    // The folder's message count; 0 with a failure, which is told.
    platform::MailReply<int> GetTotalMessage(const QString& FolderName);
    // The same, with a failure only logged: the caller tells it.
    platform::MailReply<int> CountMessages(const QString& FolderName);
    platform::MailReply<QStringList> EnumMailFolders();
    // Reads messages first .. last of the folder; they reach MailExtractListing one by one.
    void StartMailExtraction(const QString& FolderName, int first, int last);
    // Ends the run going on, or the next, as the user's Stop.
    void stop() { AbortProcess = true; }

    // The session's events; whoever holds the session subscribes here. A
    // fetched message is handed over whole, uID being its sequence number in
    // the folder (not the server's UID).
    std::function<void(EmailRecord&& record, int uID)> MailExtractListing;
    std::function<void(int percent)> ScrapProgress;
    // A text for the status line about the connection (a reconnect under way).
    std::function<void(const QString& text)> StatusChanged;

    void abortCheck(bool& abort) override;
    void percentDone(int percent) override;
    void reconnecting(int attempt, int attempts) override;

private:
    void bindComponent();
    QString whoWhere() const;
    bool stillSignedIn() const;
    void tellFailure();  // the one box every failure shows
    // Connects, selects the folder and begins the run; false when nothing is to be read.
    bool beginRun(const QString& FolderName, int first, int last);
    // A message read from folder, to the list.
    void deliver(EmailRecord&& record, qint64 number, const QString& folder);
    QString mailboxFor(const QString& FolderName);
    void WriteErrorLog();  // the latest call's text
    void noteNotRead(qint64 count);  // the latest call's text is the reason
    void noteNotRead(qint64 count, const QString& reason);

    platform::MessageBoxes& boxes_;
    platform::MailResult LastStatus;
    // Who the latest successful Connect signed in as, where: a run for the
    // same goes on with that connection while it stays signed in.
    QString signedInAs_;
    std::map<QString, QString> mailboxes_;  // folder name -> the mailbox that stands for it
};

}  // namespace tallyhive

#pragma once

#include "mail/mail_events.h"
#include "platform/imap_component.h"
#include "platform/message_boxes.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace tallyhive {

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
    std::shared_ptr<platform::ImapComponent> ChilkatIMAPObject;
    int PORT = 0;
    bool SSL = false;
    QString IMAPServer;
    QString Password;
    QString Username;
    // Set for Microsoft sign-in: Connect authenticates with these tokens
    // instead of logging in with the password.
    platform::AccessTokenSource AccessTokens;

    bool Connect();
    void GetLastError();
    int GetTotalMessage(const QString& FolderName);
    std::optional<QStringList> EnumMailFolders();
    void StartMailExtraction(const QString& FolderName);

    // The session's events; whoever holds the session subscribes here.
    std::function<void(const MailListing&)> MailExtractListing;
    std::function<void(int percent)> ScrapProgress;
    // Raised, instead of the invalid-login box, when the server refused the
    // access tokens or none could be had.
    std::function<void()> SignInRefused;

    void abortCheck(bool& abort) override;
    void percentDone(int percent) override;

private:
    void bindComponent();
    QString mailboxFor(const QString& FolderName);
    void WriteErrorLog();

    platform::MessageBoxes& boxes_;
    int LastStatus = 0;
    std::shared_ptr<platform::ImapComponent> ChilkatImap1;
    std::map<QString, QString> mailboxes_;  // folder name -> the mailbox that stands for it
};

}  // namespace tallyhive

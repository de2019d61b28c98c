#include "mail/imap_session.h"

#include "app/error_log.h"
#include "app/general_date.h"
#include "app/pending_events.h"
#include "app/texts.h"
#include "interfaces/error.h"
#include "mail/folder_options.h"
#include "mail/run_failure_log.h"

namespace tallyhive {

clsChilkatIMAP::clsChilkatIMAP(platform::MessageBoxes& boxes) : boxes_(boxes) {}

clsChilkatIMAP::~clsChilkatIMAP()
{
    // The component outlives the session; it must not call back into a dead one.
    if (ChilkatIMAPObject && ChilkatIMAPObject->notifications() == this)
        ChilkatIMAPObject->setNotifications(nullptr);
}

void clsChilkatIMAP::bindComponent()
{
    if (!ChilkatIMAPObject)
        throw AppError(texts::ObjectNotSet);
    ChilkatIMAPObject->setNotifications(this);
}

platform::MailResult clsChilkatIMAP::Connect()
{
    const auto self = shared_from_this();
    bindComponent();
    LastStatus = ChilkatIMAPObject->connect({IMAPServer, PORT});
    if (LastStatus.ok())
        LastStatus = ChilkatIMAPObject->sendRawCommand(texts::IdCommand);
    if (LastStatus.ok()) {
        if (AccessTokens)
            LastStatus = ChilkatIMAPObject->authenticateXoauth2(Username, AccessTokens);
        else
            LastStatus = ChilkatIMAPObject->login(Username, Password);
    }
    signedInAs_ = LastStatus.ok() ? whoWhere() : QString();
    if (!LastStatus.ok() && !LastStatus.signInRefused())
        GetLastError();
    return LastStatus;
}

QString clsChilkatIMAP::whoWhere() const { return QStringLiteral("%1@%2:%3").arg(Username, IMAPServer).arg(PORT); }

bool clsChilkatIMAP::stillSignedIn() const
{
    return ChilkatIMAPObject && !signedInAs_.isEmpty() && signedInAs_ == whoWhere() && ChilkatIMAPObject->signedIn();
}

platform::MailResult clsChilkatIMAP::ConnectForRun()
{
    // Opening another connection costs four round trips or more: a second
    // on a distant server, before each folder of "(all folders)".
    if (stillSignedIn())
        return LastStatus = {platform::MailStatus::Ok, QString()};
    const platform::MailResult connected = Connect();
    if (connected.status == platform::MailStatus::TokenRefused)
        boxes_.show(texts::SignInNoLongerAccepted, texts::AppTitle, platform::BoxIcon::None);
    else if (connected.status == platform::MailStatus::MailboxNotServed)
        boxes_.show(texts::MailboxNotServed.arg(Username), texts::AppTitle, platform::BoxIcon::None);
    return connected;
}

// The box says the same whatever failed; the log keeps the server's own words.
// A call that the user's Stop or Disconnect cut short did not fail, and a box
// would blame the password for it.
void clsChilkatIMAP::GetLastError()
{
    WriteErrorLog();
    tellFailure();
}

void clsChilkatIMAP::tellFailure()
{
    if (!AbortProcess)
        boxes_.show(texts::InvalidLogin, texts::AppTitle, platform::BoxIcon::None);
}

platform::MailReply<int> clsChilkatIMAP::GetTotalMessage(const QString& FolderName)
{
    const auto self = shared_from_this();
    auto count = CountMessages(FolderName);
    if (!count.ok())
        tellFailure();
    return count;
}

platform::MailReply<int> clsChilkatIMAP::CountMessages(const QString& FolderName)
{
    const auto self = shared_from_this();
    bindComponent();
    LastStatus = ChilkatIMAPObject->selectMailbox(mailboxFor(FolderName));
    if (!LastStatus.ok()) {
        WriteErrorLog();
        return {LastStatus};
    }
    return {LastStatus, ChilkatIMAPObject->numMessages()};
}

platform::MailReply<QStringList> clsChilkatIMAP::EnumMailFolders()
{
    const auto self = shared_from_this();
    bindComponent();
    auto mailboxes = ChilkatIMAPObject->listMailboxEntries(QString(), QStringLiteral("*"));
    LastStatus = mailboxes;
    if (!mailboxes.ok()) {
        GetLastError();
        return {LastStatus};
    }
    MailFolders = std::move(mailboxes.value);
    QStringList folders;
    for (const platform::MailboxEntry& entry : MailFolders) {
        folders.append(entry.name);
        letPendingEventsRun();
    }
    return {LastStatus, folders};
}

void clsChilkatIMAP::StartMailExtraction(const QString& FolderName, int first, int last)
{
    const auto self = shared_from_this();
    CurrentLocation = first;
    MaxRecord = last;
    Shortfall = RunShortfall{};
    Shortfall.asked = qMax<qint64>(0, qint64(last) - first + 1);
    if (!beginRun(FolderName, first, last))
        return;
    // However the loop ends, requests the component still has outstanding go.
    struct RunEnd {
        platform::ImapComponent& component;
        ~RunEnd() { component.endFetchRun(); }
    } runEnd{*ChilkatIMAPObject};
    RunFailureLog failures;
    for (qint64 n = first; n <= last; ++n) {
        letPendingEventsRun();
        CurrentLocation = static_cast<int>(n);
        platform::FetchedMessage fetched = ChilkatIMAPObject->fetchRunMessage(static_cast<int>(n));
        LastStatus = fetched;
        if (fetched.ok())
            WriteErrorLog();
        else
            failures.append(LastStatus.text);
        // A refused message stays counted even when Stop came during its call.
        if (fetched.status == platform::MailStatus::MessageBad)
            noteNotRead(1, fetched.text);
        // Stop is heard whether or not the fetch brought a message.
        Shortfall.stopped = AbortProcess;
        if (Shortfall.stopped)
            return;
        if (fetched.status == platform::MailStatus::MessageBad)
            continue;
        if (fetched.status == platform::MailStatus::RunEnded) {
            noteNotRead(last - n + 1, fetched.text);
            return;
        }
        deliver(std::move(fetched.value), n, FolderName);
    }
}

bool clsChilkatIMAP::beginRun(const QString& FolderName, int first, int last)
{
    if (!ConnectForRun().ok()) {
        if (AbortProcess) {
            Shortfall.stopped = true;
            return false;
        }
        boxes_.show(texts::ConnectionFailed, texts::AppTitle, platform::BoxIcon::None);
        noteNotRead(Shortfall.asked);
        return false;
    }
    bindComponent();
    LastStatus = ChilkatIMAPObject->selectMailbox(mailboxFor(FolderName));
    if (!LastStatus.ok()) {
        GetLastError();
        noteNotRead(Shortfall.asked);
        return false;
    }
    Shortfall.asked = qMax<qint64>(0, qint64(last) - first + 1);
    if (first > last)
        return false;
    LastStatus = ChilkatIMAPObject->beginFetchRun(first, last);
    if (!LastStatus.ok()) {
        WriteErrorLog();
        // Stopped while the server listed the messages: the user asked for none.
        Shortfall.stopped = AbortProcess;
        if (!AbortProcess)
            noteNotRead(Shortfall.asked);
        return false;
    }
    return true;
}

void clsChilkatIMAP::deliver(EmailRecord&& record, qint64 number, const QString& folder)
{
    ++Shortfall.read;
    if (record.keptAsRawText)
        appendErrorLogEntry(texts::MessageKeptAsRawText.arg(number));
    record.s_ReceivedDate = general_date::format(record.receivedAt);
    record.folder = folder;
    if (MailExtractListing)
        MailExtractListing(std::move(record), static_cast<int>(number));
    letPendingEventsRun();
}

void clsChilkatIMAP::noteNotRead(qint64 count) { noteNotRead(count, LastStatus.text); }

void clsChilkatIMAP::noteNotRead(qint64 count, const QString& reason)
{
    Shortfall.notRead += count;
    if (Shortfall.firstReason.isEmpty())
        Shortfall.firstReason = reason;
}

void clsChilkatIMAP::abortCheck(bool& abort)
{
    abort = AbortProcess;
    letPendingEventsRun();
}

void clsChilkatIMAP::percentDone(int percent)
{
    if (ScrapProgress)
        ScrapProgress(percent);
    letPendingEventsRun();
}

// A folder of the option's own name wins. A server without one may mark
// another folder with the role (Gmail's "[Gmail]/Sent Mail", say).
QString clsChilkatIMAP::mailboxFor(const QString& FolderName)
{
    const QString role = folderOptionRole(FolderName);
    if (role.isEmpty())
        return FolderName;
    if (const auto known = mailboxes_.find(FolderName); known != mailboxes_.end())
        return known->second;
    const auto names = ChilkatIMAPObject->listMailboxes(QString(), QStringLiteral("*"));
    if (!names.ok())
        return FolderName;  // the select then fails and says so
    QString mailbox = FolderName;
    if (!names.value.contains(FolderName)) {
        const QString marked = ChilkatIMAPObject->specialUseMailbox(role);
        if (!marked.isEmpty())
            mailbox = marked;
    }
    mailboxes_[FolderName] = mailbox;
    return mailbox;
}

void clsChilkatIMAP::reconnecting(int attempt, int attempts)
{
    if (StatusChanged)
        StatusChanged(texts::Reconnecting.arg(attempt).arg(attempts));
    letPendingEventsRun();
}

void clsChilkatIMAP::WriteErrorLog() { appendErrorLogEntry(LastStatus.text); }

}  // namespace tallyhive

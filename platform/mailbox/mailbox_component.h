#pragma once

#include "interfaces/imap_component.h"
#include "interfaces/message_store.h"
#include "platform/imap/imap_client.h"
#include "platform/mailbox/mailbox_fetch_run.h"
#include "platform/mailbox/message_converter.h"

#include <functional>
#include <memory>
#include <optional>

namespace tallyhive::platform {

// The IMAP component as the mail layer sees it: the protocol client's calls,
// with each fetched message turned into its record. During a fetch run
// the messages that have already come are converted on a second thread
// while the caller handles the one before; they still reach the caller one
// at a time and in order.
class MailboxComponent : public ImapComponent {
public:
    // With a store, a fetch run takes the records it keeps and reads only
    // the rest from the server.
    explicit MailboxComponent(std::unique_ptr<ImapClient> client, std::shared_ptr<MessageStore> store = nullptr);

    MailResult connect(const ImapServer& server) override;
    MailReply<QString> sendRawCommand(const QString& command) override;
    MailResult login(const QString& user, const QString& password) override;
    MailResult authenticateXoauth2(const QString& user, AccessTokenSource tokens) override;
    MailResult selectMailbox(const QString& mailbox) override;
    int numMessages() const override { return client_->numMessages(); }
    MailReply<QStringList> listMailboxes(const QString& reference, const QString& pattern) override;
    MailReply<std::vector<MailboxEntry>> listMailboxEntries(const QString& reference, const QString& pattern) override;
    QString specialUseMailbox(const QString& role) const override { return client_->specialUseMailbox(role); }
    bool signedIn() const override { return client_->signedIn(); }
    void disconnect() override;
    void setNotifications(ImapNotifications* sink) override { client_->setNotifications(sink); }
    ImapNotifications* notifications() const override { return client_->notifications(); }
    MailResult beginFetchRun(int first, int last) override;
    FetchedMessage fetchRunMessage(int number) override;
    void endFetchRun() override;

private:
    // Nothing when the call may go ahead; otherwise why it may not.
    std::optional<MailResult> refusal(const QString& operation) const;
    std::unique_ptr<MailboxFetchRun> startRun(int first, int last);

    std::unique_ptr<ImapClient> client_;
    std::shared_ptr<MessageStore> store_;
    // Whose mailbox and which folder: the key of what the store keeps.
    QString host_;
    QString user_;
    QString mailbox_;
    MessageConverter converter_;
    std::unique_ptr<MailboxFetchRun> run_;  // after the converter it uses, so it goes first
};

// Makes the real component (TLS over the network, certificates verified).
std::shared_ptr<ImapComponent> createImapComponent(const ImapOptions& options, std::shared_ptr<MessageStore> store = nullptr);

}  // namespace tallyhive::platform

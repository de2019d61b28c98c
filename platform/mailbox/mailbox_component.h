#pragma once

#include "interfaces/imap_component.h"
#include "platform/imap/imap_client.h"
#include "platform/mailbox/mailbox_fetch_run.h"
#include "platform/mailbox/message_converter.h"

#include <memory>

namespace tallyhive::platform {

// The IMAP component as the mail layer sees it: the protocol client's calls,
// with each fetched message turned into its record. During a fetch run
// the messages that have already come are converted on a second thread
// while the caller handles the one before; they still reach the caller one
// at a time and in order.
class MailboxComponent : public ImapComponent {
public:
    explicit MailboxComponent(std::unique_ptr<ImapClient> client);

    void setPort(int port) override { client_->setPort(port); }
    int connect(const QString& host) override;
    QString sendRawCommand(const QString& command) override;
    int login(const QString& user, const QString& password) override;
    int authenticateXoauth2(const QString& user, AccessTokenSource tokens) override;
    int selectMailbox(const QString& mailbox) override;
    int numMessages() const override { return client_->numMessages(); }
    std::optional<QStringList> listMailboxes(const QString& reference, const QString& pattern) override;
    std::optional<std::vector<MailboxEntry>> listMailboxEntries(const QString& reference, const QString& pattern) override;
    QString specialUseMailbox(const QString& role) const override { return client_->specialUseMailbox(role); }
    QString lastErrorText() const override;
    void disconnect() override;
    void setNotifications(ImapNotifications* sink) override { client_->setNotifications(sink); }
    ImapNotifications* notifications() const override { return client_->notifications(); }
    int beginFetchRun(int first, int last) override;
    FetchedMessage fetchRunMessage(int number) override;
    void endFetchRun() override;

private:
    bool admit(const QString& operation);

    std::unique_ptr<ImapClient> client_;
    MessageConverter converter_;
    std::unique_ptr<MailboxFetchRun> run_;  // after the converter it uses, so it goes first
    // The latest call's text when it is the component's own: a refusal, or
    // the log text of the message a run delivered (the client's may already
    // speak of a later one). Null otherwise.
    QString ownText_;
};

// Makes the real component (TLS over the network, certificates verified).
std::shared_ptr<ImapComponent> createImapComponent(const ImapOptions& options);

}  // namespace tallyhive::platform

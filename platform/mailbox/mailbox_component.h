#pragma once

#include "platform/imap/imap_client.h"
#include "platform/imap_component.h"

#include <memory>

namespace tallyhive::platform {

// The IMAP component as the mail layer sees it: the protocol client's calls,
// with each fetched message turned into its seven values.
class MailboxComponent : public ImapComponent {
public:
    explicit MailboxComponent(std::unique_ptr<ImapClient> client);

    void setSsl(bool ssl) override { client_->setSsl(ssl); }
    void setPort(int port) override { client_->setPort(port); }
    int connect(const QString& host) override { return client_->connect(host); }
    QString sendRawCommand(const QString& command) override { return client_->sendRawCommand(command); }
    int login(const QString& user, const QString& password) override { return client_->login(user, password); }
    int authenticateXoauth2(const QString& user, AccessTokenSource tokens) override
    {
        return client_->authenticateXoauth2(user, std::move(tokens));
    }
    int selectMailbox(const QString& mailbox) override { return client_->selectMailbox(mailbox); }
    int numMessages() const override { return client_->numMessages(); }
    std::optional<MailMessage> fetchSingle(int number, bool isUid) override;
    std::optional<QStringList> listMailboxes(const QString& reference, const QString& pattern) override
    {
        return client_->listMailboxes(reference, pattern);
    }
    QString specialUseMailbox(const QString& role) const override { return client_->specialUseMailbox(role); }
    QString lastErrorText() const override { return client_->lastErrorText(); }
    void disconnect() override { client_->disconnect(); }
    void setNotifications(ImapNotifications* sink) override { client_->setNotifications(sink); }
    ImapNotifications* notifications() const override { return client_->notifications(); }
    int beginFetchRun(int first, int last) override { return client_->beginFetchRun(first, last); }
    FetchedMessage fetchRunMessage(int number) override;
    void endFetchRun() override { client_->endFetchRun(); }

    ImapClient& client() { return *client_; }

private:
    std::unique_ptr<ImapClient> client_;
};

// Makes the real component (TLS over the network, certificates verified).
std::shared_ptr<ImapComponent> createImapComponent();

}  // namespace tallyhive::platform

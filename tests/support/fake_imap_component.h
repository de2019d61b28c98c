#pragma once

#include "interfaces/imap_component.h"

#include <QStringList>

#include <functional>
#include <map>

namespace tallyhive::testing {

// An IMAP component in memory: one mailbox per name, each a list of messages.
// It records every call so tests can check order and arguments.
class FakeImapComponent : public platform::ImapComponent {
public:
    platform::MailResult connect(const platform::ImapServer& server) override
    {
        calls << QStringLiteral("port %1").arg(server.port) << QStringLiteral("connect ") + server.host;
        lastError = connectOk ? QStringLiteral("connected") : QStringLiteral("connect failed");
        connected = connectOk;
        return result(connectOk);
    }
    platform::MailReply<QString> sendRawCommand(const QString& command) override
    {
        calls << QStringLiteral("raw ") + command;
        platform::MailReply<QString> reply;
        static_cast<platform::MailResult&>(reply) = result(connected && !idAnswer.isEmpty());
        reply.value = connected ? idAnswer : QString();
        return reply;
    }
    platform::MailResult login(const QString& user, const QString& password) override
    {
        calls << QStringLiteral("login ") + user;
        const bool ok = connected && user == acceptedUser && password == acceptedPassword;
        lastError = ok ? QStringLiteral("logged in") : QStringLiteral("login refused");
        return result(ok);
    }
    platform::MailResult authenticateXoauth2(const QString& user, platform::AccessTokenSource tokens) override
    {
        calls << QStringLiteral("xoauth2 ") + user;
        if (!connected)
            return result(false);
        for (bool refresh : {false, true}) {
            const platform::MailReply<QString> offered = tokens(refresh);
            if (!offered.ok())
                break;
            const QString& token = offered.value;
            // Outlook takes the token whatever address it names, then will not serve the mailbox.
            if ((user == acceptedUser || user == unservedMailbox) && token == acceptedToken) {
                lastError = QStringLiteral("authenticated");
                const bool served = mailboxServed && user != unservedMailbox;
                return {served ? platform::MailStatus::Ok : platform::MailStatus::MailboxNotServed, lastError};
            }
        }
        lastError = QStringLiteral("token refused");
        return {platform::MailStatus::TokenRefused, lastError};
    }
    platform::MailResult selectMailbox(const QString& mailbox) override
    {
        calls << QStringLiteral("select ") + mailbox;
        const bool ok = connected && mailboxes.count(mailbox);
        selected = ok ? mailbox : QString();
        return result(ok);
    }
    int numMessages() const override { return selected.isEmpty() ? 0 : static_cast<int>(mailboxes.at(selected).size()); }
    platform::MailResult beginFetchRun(int first, int last) override
    {
        calls << QStringLiteral("run %1 %2").arg(first).arg(last);
        lastError = QStringLiteral("run %1 to %2").arg(first).arg(last);
        return result(connected && !selected.isEmpty());
    }
    // Recorded as "fetch N 0": message N of the run, a sequence number.
    platform::FetchedMessage fetchRunMessage(int number) override
    {
        calls << QStringLiteral("fetch %1 0").arg(number);
        platform::FetchedMessage fetched;
        if (endRunAt > 0 && number >= endRunAt) {
            lastError = QStringLiteral("connection lost at %1").arg(number);
            fetched.status = platform::MailStatus::RunEnded;
            fetched.text = lastError;
            return fetched;
        }
        const auto message = fetch(number);
        fetched.status = message ? platform::MailStatus::Ok : platform::MailStatus::MessageBad;
        if (message)
            fetched.value = *message;
        fetched.text = lastError;
        return fetched;
    }
    void endFetchRun() override { calls << QStringLiteral("end run"); }
    platform::MailReply<QStringList> listMailboxes(const QString& reference, const QString& pattern) override
    {
        calls << QStringLiteral("list \"%1\" %2").arg(reference, pattern);
        platform::MailReply<QStringList> names;
        static_cast<platform::MailResult&>(names) = result(connected && listOk);
        for (const auto& [name, messages] : mailboxes)
            names.value << name;
        return names;
    }
    // Every mailbox, then those listed only by their attributes, with "/" between levels.
    platform::MailReply<std::vector<platform::MailboxEntry>> listMailboxEntries(const QString& reference, const QString& pattern) override
    {
        const auto names = listMailboxes(reference, pattern);
        platform::MailReply<std::vector<platform::MailboxEntry>> entries;
        static_cast<platform::MailResult&>(entries) = names;
        if (!names.ok())
            return entries;
        QStringList all = names.value;
        for (const auto& [name, listed] : attributes) {
            if (!all.contains(name))
                all << name;
        }
        for (const QString& name : all) {
            platform::MailboxEntry entry{name, QStringLiteral("/"), attributes.count(name) ? attributes.at(name) : QStringList()};
            for (const auto& [role, mailbox] : specialUse) {
                if (mailbox == name)
                    entry.attributes << role;
            }
            entries.value.push_back(entry);
        }
        return entries;
    }
    QString specialUseMailbox(const QString& role) const override
    {
        const auto found = specialUse.find(role);
        return found == specialUse.end() ? QString() : found->second;
    }
    bool signedIn() const override { return false; }
    void disconnect() override
    {
        calls << QStringLiteral("disconnect");
        connected = false;
    }
    void setNotifications(platform::ImapNotifications* notifications) override { sink = notifications; }
    platform::ImapNotifications* notifications() const override { return sink; }

    platform::MailResult result(bool ok) const { return {ok ? platform::MailStatus::Ok : platform::MailStatus::Failed, lastError}; }

    // One message as a fetch gives it, with its notifications.
    std::optional<EmailRecord> fetch(int number)
    {
        if (sink) {
            sink->percentDone(0);
            bool abort = false;
            sink->abortCheck(abort);
            sink->percentDone(100);
        }
        if (onFetch)
            onFetch(number);
        lastError = QStringLiteral("fetched %1").arg(number);
        if (!connected || selected.isEmpty() || number < 1 || number > numMessages() || failFetches.contains(number))
            return std::nullopt;
        return mailboxes.at(selected).at(number - 1);
    }

    // A message whose fields carry its number, dated at the given hour.
    static EmailRecord message(int n, int hour = 10)
    {
        const QString s = QString::number(n);
        return {"\"Sender " + s + "\" <s" + s + "@example.org>", "Sender " + s, "s" + s + "@example.org", "Subject " + s, {},
                "Body " + s, "<p>Body " + s + "</p>", QDateTime(QDate(2024, 3, 19), QTime(hour, 0))};
    }

    void fill(const QString& mailbox, int count)
    {
        auto& messages = mailboxes[mailbox];
        for (int n = 1; n <= count; ++n)
            messages.push_back(message(n));
    }

    bool connectOk = true;
    bool listOk = true;
    int endRunAt = 0;  // from this number on, the run has ended (a connection lost for good)
    QString idAnswer = QStringLiteral("* ID NIL\r\nA1 OK ID completed\r\n");
    QString acceptedUser = QStringLiteral("user@example.org");
    QString acceptedPassword = QStringLiteral("secret");
    QString acceptedToken = QStringLiteral("token-1");
    bool mailboxServed = true;  // false: the token is taken, the next command refused
    QString unservedMailbox;    // taken with the accepted token and then refused like that
    std::map<QString, std::vector<EmailRecord>> mailboxes;
    std::map<QString, QString> specialUse;  // role ("\\Sent") -> mailbox
    std::map<QString, QStringList> attributes;  // mailbox -> what its listing says of it ("\\Noselect")
    QList<int> failFetches;
    std::function<void(int)> onFetch;

    QStringList calls;
    bool connected = false;
    QString selected;
    QString lastError;
    platform::ImapNotifications* sink = nullptr;
};

}  // namespace tallyhive::testing

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
    void setPort(int port) override { calls << QStringLiteral("port %1").arg(port); }
    int connect(const QString& host) override
    {
        calls << QStringLiteral("connect ") + host;
        lastError = connectOk ? QStringLiteral("connected") : QStringLiteral("connect failed");
        connected = connectOk;
        return connectOk ? 1 : 0;
    }
    QString sendRawCommand(const QString& command) override
    {
        calls << QStringLiteral("raw ") + command;
        return connected ? idAnswer : QString();
    }
    int login(const QString& user, const QString& password) override
    {
        calls << QStringLiteral("login ") + user;
        const bool ok = connected && user == acceptedUser && password == acceptedPassword;
        lastError = ok ? QStringLiteral("logged in") : QStringLiteral("login refused");
        return ok ? 1 : 0;
    }
    int authenticateXoauth2(const QString& user, platform::AccessTokenSource tokens) override
    {
        calls << QStringLiteral("xoauth2 ") + user;
        if (!connected)
            return 0;
        for (bool refresh : {false, true}) {
            const QString token = tokens(refresh);
            if (token.isEmpty())
                break;
            if (user == acceptedUser && token == acceptedToken) {
                lastError = QStringLiteral("authenticated");
                return mailboxServed ? 1 : platform::kMailboxNotServed;
            }
        }
        lastError = QStringLiteral("token refused");
        return platform::kTokenRefused;
    }
    int selectMailbox(const QString& mailbox) override
    {
        calls << QStringLiteral("select ") + mailbox;
        const bool ok = connected && mailboxes.count(mailbox);
        selected = ok ? mailbox : QString();
        return ok ? 1 : 0;
    }
    int numMessages() const override { return selected.isEmpty() ? 0 : static_cast<int>(mailboxes.at(selected).size()); }
    int beginFetchRun(int first, int last) override
    {
        calls << QStringLiteral("run %1 %2").arg(first).arg(last);
        lastError = QStringLiteral("run %1 to %2").arg(first).arg(last);
        return connected && !selected.isEmpty() ? 1 : 0;
    }
    // Recorded as "fetch N 0": message N of the run, a sequence number.
    platform::FetchedMessage fetchRunMessage(int number) override
    {
        calls << QStringLiteral("fetch %1 0").arg(number);
        platform::FetchedMessage fetched;
        if (endRunAt > 0 && number >= endRunAt) {
            lastError = QStringLiteral("connection lost at %1").arg(number);
            fetched.text = lastError;
            return fetched;
        }
        const auto message = fetch(number);
        fetched.status = message ? platform::FetchStatus::Fetched : platform::FetchStatus::Skipped;
        if (message)
            fetched.message = *message;
        fetched.text = lastError;
        return fetched;
    }
    void endFetchRun() override { calls << QStringLiteral("end run"); }
    std::optional<QStringList> listMailboxes(const QString& reference, const QString& pattern) override
    {
        calls << QStringLiteral("list \"%1\" %2").arg(reference, pattern);
        if (!connected || !listOk)
            return std::nullopt;
        QStringList names;
        for (const auto& [name, messages] : mailboxes)
            names << name;
        return names;
    }
    // Every mailbox, then those listed only by their attributes, with "/" between levels.
    std::optional<std::vector<platform::MailboxEntry>> listMailboxEntries(const QString& reference, const QString& pattern) override
    {
        const auto names = listMailboxes(reference, pattern);
        if (!names)
            return std::nullopt;
        QStringList all = *names;
        for (const auto& [name, listed] : attributes) {
            if (!all.contains(name))
                all << name;
        }
        std::vector<platform::MailboxEntry> entries;
        for (const QString& name : all) {
            platform::MailboxEntry entry{name, QStringLiteral("/"), attributes.count(name) ? attributes.at(name) : QStringList()};
            for (const auto& [role, mailbox] : specialUse) {
                if (mailbox == name)
                    entry.attributes << role;
            }
            entries.push_back(entry);
        }
        return entries;
    }
    QString specialUseMailbox(const QString& role) const override
    {
        const auto found = specialUse.find(role);
        return found == specialUse.end() ? QString() : found->second;
    }
    QString lastErrorText() const override { return lastError; }
    void disconnect() override
    {
        calls << QStringLiteral("disconnect");
        connected = false;
    }
    void setNotifications(platform::ImapNotifications* notifications) override { sink = notifications; }
    platform::ImapNotifications* notifications() const override { return sink; }

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

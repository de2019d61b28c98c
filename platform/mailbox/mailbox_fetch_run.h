#pragma once

#include "interfaces/imap_component.h"
#include "platform/imap/imap_client.h"
#include "platform/mailbox/message_converter.h"

#include <QElapsedTimer>

#include <functional>
#include <map>

namespace tallyhive::platform {

// One fetch run as the mail layer drives it, from beginFetchRun to
// endFetchRun: the messages taken from the protocol client ahead of the
// caller, each with its log text, their hand-over to the conversion thread,
// and the reason the run was ended from outside, if it was. The protocol
// client keeps the connection, the UID list and the requests in flight.
//
// Every wait of a run (the network, a reconnect delay, a conversion) ends
// within the abort poll's reach once end() is called: the client's waits see
// their connection closed, and the conversion wait asks ended().
class MailboxFetchRun {
public:
    // Called with each record converted, to be kept for a later run.
    using Keep = std::function<void(int number, const EmailRecord& record)>;

    // stored: records kept from an earlier run, by number; the client was
    // told to leave these messages out.
    MailboxFetchRun(ImapClient& client, MessageConverter& converter, int first, std::map<quint32, EmailRecord> stored = {},
                    Keep keep = {});
    ~MailboxFetchRun();
    MailboxFetchRun(const MailboxFetchRun&) = delete;
    MailboxFetchRun& operator=(const MailboxFetchRun&) = delete;

    // Message `number`, asked for in ascending order; RunEnded with the reason
    // once the run was ended.
    FetchedMessage next(int number);
    // Ends the run from outside; the messages not yet delivered stay unread.
    void end(const QString& reason);
    bool ended() const { return !endReason_.isNull(); }

private:
    void handOver(int number, ImapClient::RawRunMessage raw);
    void readAhead();
    FetchedMessage endedAt(int number) const;

    ImapClient& client_;
    MessageConverter& converter_;
    std::map<int, MailResult> ahead_;  // what the client said of messages taken ahead, not yet delivered
    int nextAhead_ = 0;
    std::map<quint32, EmailRecord> stored_;  // by message number
    static constexpr qint64 kReadAheadBetweenKeptMs = 2;
    QElapsedTimer sinceReadAhead_;
    Keep keep_;
    QString endReason_;
};

}  // namespace tallyhive::platform

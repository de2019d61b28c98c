#pragma once

#include "interfaces/imap_component.h"
#include "platform/imap/imap_client.h"
#include "platform/mailbox/message_converter.h"

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
    MailboxFetchRun(ImapClient& client, MessageConverter& converter, int first);
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
    FetchedMessage endedAt(int number) const;

    ImapClient& client_;
    MessageConverter& converter_;
    std::map<int, MailResult> ahead_;  // what the client said of messages taken ahead, not yet delivered
    int nextAhead_ = 0;
    QString endReason_;
};

}  // namespace tallyhive::platform

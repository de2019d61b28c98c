#pragma once

#include "interfaces/imap_component.h"
#include "platform/imap/imap_options.h"
#include "platform/imap/imap_response_reader.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace tallyhive::platform {

// What one fetch run knows, apart from the connection it reads on: the
// messages of its range with the UIDs the server listed, the requests in
// flight, what has arrived and is not yet delivered, the connections lost
// per message and the reconnects in a row. ImapClient reads and writes;
// this keeps the count, so the window's rules are in one place.
class ImapFetchWindow {
public:
    // A message losing the connection this often is given up.
    static constexpr int kLossesPerMessage = 3;
    // Reconnects in a row that bring no message end the run.
    static constexpr int kReconnectsInRow = 3;

    struct Entry {
        qint64 number = 0;
        quint32 uid = 0;
        qint64 size = 0;  // as the server listed it
    };
    // One message asked for; the messages of one command share its tag.
    struct Request {
        QByteArray tag;
        qint64 number = 0;
        quint32 uid = 0;
        qint64 size = 0;         // as the server listed it
        bool pipelined = false;  // sent while others were still unanswered, or with others in its command
        bool whole = false;      // one of several whose message came whole before the command's reply
    };
    struct Arrival {
        QByteArray bytes;
        QDateTime internalDate;  // invalid when the server gave none that could be read
        bool bodySeen = false;
        bool dateSeen = false;
        bool complete = false;
        MailStatus status = MailStatus::Ok;
        QString text;  // what the log says about it
    };
    enum class Settled { Done, Foreign, PipelineRefused };

    // entries: as listed, in any order; only one per number counts.
    ImapFetchWindow(qint64 first, qint64 last, std::vector<Entry> entries, quint32 uidValidity, const FetchWindowLimits& limits);

    qint64 last() const { return last_; }
    qint64 highestListed() const { return highestListed_; }
    qint64 listed() const { return static_cast<qint64>(entries_.size()); }
    quint32 uidValidity() const { return uidValidity_; }
    bool covers(qint64 number) const { return number >= first_ && number <= last_; }
    const Entry* entry(qint64 number) const;
    const std::vector<Entry>& entries() const { return entries_; }
    // These messages are had elsewhere: they are never asked for, and the
    // rest of the run goes on as if the server had not listed them.
    void leaveOut(const std::vector<qint64>& numbers);

    // Numbers below this one are never asked for again.
    void forgetBelow(qint64 number);
    bool arrivedWhole(qint64 number) const;
    // The message when it has come whole, taken out of the window.
    std::optional<Arrival> takeWhole(qint64 number);
    qint64 arrivedBytes() const;

    // The commands that keep the window full while `wanted` is awaited,
    // as bytes to send; the message awaited is always asked for.
    QByteArray requestMore(qint64 wanted, bool oneAtATime, const std::function<QByteArray()>& nextTag);
    bool inFlight() const { return !outstanding_.empty(); }
    // Replies come in the order asked: true when the reply arriving is the one for `number`.
    bool firstInFlight(qint64 number) const;
    // The request an untagged FETCH answers, or none: the oldest request
    // still unanswered that asked for this UID (without a UID, the only
    // request in flight), and a body goes only to one whose body has not
    // come. A server may run pipelined commands at once (Dovecot does when
    // they arrive together), so a later command's data may come before an
    // earlier one's reply; its UID still says whose it is.
    const Request* ownerOf(std::optional<qint64> uid, bool carriesBody = false) const;
    // A message's data that no request in turn asked for: never filed under
    // any; the first of a run is told in the next message's text.
    void noteStray(const QString& line);
    QString takeStrayNote();
    bool bodySeen(qint64 number) const;
    void noteBody(const Request& owner, QByteArray body);
    void noteInternalDate(qint64 number, QDateTime date);
    // The owner's FETCH response has been filed. A message of several is
    // whole once its body and date have come: it need not wait for the others.
    void noteResponseEnd(const Request& owner);
    // Settles every message of the command the tagged reply ends.
    Settled settle(const ImapResponse& tagged);

    // The connection is gone: what was in flight is asked for again, and
    // a message that keeps losing the connection is given up.
    void lose(qint64 wanted, const QString& reason);
    // Counts an attempt to reconnect; false once the run has had its share in a row.
    bool mayReconnect();
    int reconnectsInRow() const { return reconnectsInRow_; }
    bool folderChanged() const { return folderChanged_; }
    void noteFolderChanged() { folderChanged_ = true; }

private:
    qint64 lowestIncomplete(qint64 from) const;
    bool isOutstanding(qint64 number) const;
    qint64 heldBytes() const;
    qint64 counted(qint64 listedSize) const;

    qint64 first_;
    qint64 last_;
    std::vector<Entry> entries_;  // ascending by number
    qint64 highestListed_;
    quint32 uidValidity_;
    FetchWindowLimits limits_;
    qint64 nextRequest_;  // the lowest number not yet asked for
    int perCommand_;      // messages a command asks for now; grows while the link holds the run back
    std::deque<Request> outstanding_;
    std::map<qint64, Arrival> arrived_;
    std::map<qint64, int> losses_;
    // Messages a command of several did not bring: each is asked for again
    // in a command of its own, so that what the server says of it is its own.
    std::set<qint64> askAlone_;
    bool folderChanged_ = false;
    // Responses out of turn: a server that answers several commands at once
    // is then asked one message at a time for what it left out.
    int strays_ = 0;
    QString strayNote_;
    int reconnectsInRow_ = 0;  // since a message last came whole
    // Once a body came far larger than the server listed it, the listed
    // sizes are not trusted: a request counts as the largest body seen.
    bool sizesUnderstated_ = false;
    qint64 largestBody_ = 0;
};

}  // namespace tallyhive::platform

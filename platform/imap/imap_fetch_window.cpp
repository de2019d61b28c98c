#include "platform/imap/imap_fetch_window.h"

#include "platform/imap/imap_fetch_items.h"

#include <algorithm>
#include <utility>

namespace tallyhive::platform {
namespace {

// Servers round their sizes a little; a body many times its size is no rounding.
constexpr qint64 kUnderstatementSlack = 64 * 1024;

}  // namespace

ImapFetchWindow::ImapFetchWindow(qint64 first, qint64 last, std::vector<Entry> entries, quint32 uidValidity,
                                 const FetchWindowLimits& limits)
    : first_(first), last_(last), entries_(std::move(entries)), uidValidity_(uidValidity), limits_(limits), nextRequest_(first),
      perCommand_(qMax(1, limits.messagesPerRequest))
{
    std::stable_sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) { return a.number < b.number; });
    entries_.erase(std::unique(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) { return a.number == b.number; }),
                   entries_.end());
    highestListed_ = entries_.empty() ? first - 1 : entries_.back().number;
}

const ImapFetchWindow::Entry* ImapFetchWindow::entry(qint64 number) const
{
    const auto found = std::lower_bound(entries_.begin(), entries_.end(), number,
                                        [](const Entry& entry, qint64 n) { return entry.number < n; });
    return found != entries_.end() && found->number == number ? &*found : nullptr;
}

void ImapFetchWindow::leaveOut(const std::vector<qint64>& numbers)
{
    std::erase_if(entries_, [&](const Entry& entry) { return std::binary_search(numbers.begin(), numbers.end(), entry.number); });
}

void ImapFetchWindow::forgetBelow(qint64 number)
{
    arrived_.erase(arrived_.begin(), arrived_.lower_bound(number));
    askAlone_.erase(askAlone_.begin(), askAlone_.lower_bound(number));
}

bool ImapFetchWindow::arrivedWhole(qint64 number) const
{
    const auto found = arrived_.find(number);
    return found != arrived_.end() && found->second.complete;
}

std::optional<ImapFetchWindow::Arrival> ImapFetchWindow::takeWhole(qint64 number)
{
    const auto found = arrived_.find(number);
    if (found == arrived_.end() || !found->second.complete)
        return std::nullopt;
    Arrival arrival = std::move(found->second);
    arrived_.erase(found);
    return arrival;
}

qint64 ImapFetchWindow::arrivedBytes() const
{
    qint64 held = 0;
    for (const auto& [number, arrival] : arrived_)
        held += arrival.bytes.size();
    return held;
}

qint64 ImapFetchWindow::counted(qint64 listedSize) const { return sizesUnderstated_ ? qMax(listedSize, largestBody_) : listedSize; }

qint64 ImapFetchWindow::heldBytes() const
{
    qint64 held = arrivedBytes();
    for (const Request& request : outstanding_)
        held += counted(request.size);
    return held;
}

qint64 ImapFetchWindow::lowestIncomplete(qint64 from) const
{
    qint64 n = from;
    while (n <= highestListed_ && (!entry(n) || arrivedWhole(n)))
        ++n;
    return n;
}

bool ImapFetchWindow::isOutstanding(qint64 number) const
{
    return std::any_of(outstanding_.begin(), outstanding_.end(), [number](const Request& r) { return r.number == number; });
}

namespace {

// "7,8,9,12" as "7:9,12": a command for hundreds of messages stays short.
class UidSet {
public:
    void add(quint32 uid)
    {
        if (!text_.isEmpty() && uid == last_ + 1) {
            last_ = uid;
            return;
        }
        close();
        if (!text_.isEmpty())
            text_ += ',';
        text_ += QByteArray::number(uid);
        first_ = last_ = uid;
    }
    QByteArray take()
    {
        close();
        return std::exchange(text_, QByteArray());
    }

private:
    void close()
    {
        if (!text_.isEmpty() && last_ != first_)
            text_ += ':' + QByteArray::number(last_);
        first_ = last_;
    }
    QByteArray text_;
    quint32 first_ = 0;
    quint32 last_ = 0;
};

}  // namespace

// The window holds what was asked for and not yet delivered, up to the
// depth in messages and the bytes allowed.
QByteArray ImapFetchWindow::requestMore(qint64 wanted, bool oneAtATime, const std::function<QByteArray()>& nextTag)
{
    nextRequest_ = qMax(nextRequest_, wanted);
    const bool single = oneAtATime || limits_.requests <= 1;
    // The caller waits for a message that has not come: the link, not the
    // caller, holds the run back, and a distant server answers a window of
    // messages a round trip. Each command then asks for more, so that the
    // window holds more, soon; the bytes allowed bound it all the same.
    if (!single && !arrived_.count(wanted) && perCommand_ < limits_.mostPerRequest)
        perCommand_ = qMin(perCommand_ * 4, limits_.mostPerRequest);
    const size_t perCommand = single ? 1 : static_cast<size_t>(qMax(1, perCommand_));
    const size_t depth = single ? 1 : static_cast<size_t>(limits_.requests) * perCommand;
    qint64 held = heldBytes();
    QByteArray requests;
    const auto inWindow = [this] { return outstanding_.size() + arrived_.size(); };
    // Whatever the window holds, the message awaited is always asked for.
    const bool starved = outstanding_.empty() && !arrived_.count(wanted);
    // While messages wait here to be delivered, the link keeps up: requests
    // then go a few at a time, not one for each message delivered, since
    // every write costs a system call and a TLS record here and a wake-up at
    // the server. Waiting on the link, the window is kept full.
    const size_t batch = std::max<size_t>(1, depth / 4);
    if (!arrived_.empty() && !outstanding_.empty() && (inWindow() + batch > depth || held > limits_.bytes - limits_.bytes / 4))
        return {};
    // A quarter of the bytes allowed has come and waits: the caller, not the
    // link, is behind, and more asked for now would only wait here too.
    if (!outstanding_.empty() && arrivedBytes() > limits_.bytes / 4)
        return {};
    size_t gathered = 0;  // at the back of outstanding_, not yet in a command
    UidSet uids;
    const auto sendGathered = [&] {
        if (gathered == 0)
            return;
        const QByteArray tag = nextTag();
        for (auto it = outstanding_.end() - static_cast<std::ptrdiff_t>(gathered); it != outstanding_.end(); ++it) {
            it->tag = tag;
            it->pipelined = it->pipelined || gathered > 1;
        }
        requests += tag + " UID FETCH " + uids.take() + " (UID INTERNALDATE BODY.PEEK[])\r\n";
        gathered = 0;
    };
    while ((inWindow() < depth || (starved && outstanding_.empty())) && nextRequest_ <= highestListed_) {
        const qint64 number = nextRequest_;
        const Entry* listedEntry = entry(number);
        if (!listedEntry || arrived_.count(number) || isOutstanding(number)) {
            ++nextRequest_;  // unlisted numbers are skipped when asked for; the others are on their way or here
            continue;
        }
        const qint64 size = counted(listedEntry->size);
        if (!outstanding_.empty() && held + size > limits_.bytes)
            break;
        ++nextRequest_;
        const bool alone = askAlone_.erase(number) > 0;
        if (alone)
            sendGathered();
        uids.add(listedEntry->uid);
        outstanding_.push_back(Request{{}, number, listedEntry->uid, listedEntry->size, !outstanding_.empty()});
        held += size;
        if (++gathered == perCommand || alone)
            sendGathered();
    }
    sendGathered();
    return requests;
}

const ImapFetchWindow::Request* ImapFetchWindow::ownerOf(std::optional<qint64> uid, bool carriesBody) const
{
    if (outstanding_.empty() || (!uid && outstanding_.size() > 1))
        return nullptr;
    for (const Request& request : outstanding_) {
        if (!request.whole && (!uid || request.uid == *uid))
            return carriesBody && bodySeen(request.number) ? nullptr : &request;
    }
    return nullptr;
}

void ImapFetchWindow::noteStray(const QString& line)
{
    if (strays_++ == 0)
        strayNote_ = QStringLiteral("; the server sent a message's data out of turn, and it was ignored: %1").arg(line);
}

QString ImapFetchWindow::takeStrayNote() { return std::exchange(strayNote_, QString()); }

bool ImapFetchWindow::firstInFlight(qint64 number) const
{
    const auto first = std::find_if(outstanding_.begin(), outstanding_.end(), [](const Request& r) { return !r.whole; });
    return first != outstanding_.end() && first->number == number;
}

bool ImapFetchWindow::bodySeen(qint64 number) const
{
    const auto found = arrived_.find(number);
    return found != arrived_.end() && found->second.bodySeen;
}

void ImapFetchWindow::noteBody(const Request& owner, QByteArray body)
{
    Arrival& arrival = arrived_[owner.number];
    arrival.bytes = std::move(body);
    arrival.bodySeen = true;
    const qint64 size = arrival.bytes.size();
    largestBody_ = qMax(largestBody_, size);
    if (size > 2 * owner.size + kUnderstatementSlack)
        sizesUnderstated_ = true;
}

void ImapFetchWindow::noteInternalDate(qint64 number, QDateTime date)
{
    Arrival& arrival = arrived_[number];
    arrival.internalDate = std::move(date);
    arrival.dateSeen = true;
}

void ImapFetchWindow::noteResponseEnd(const Request& owner)
{
    const auto request = std::find_if(outstanding_.begin(), outstanding_.end(), [&](const Request& r) { return r.number == owner.number; });
    const bool shared = std::count_if(outstanding_.begin(), outstanding_.end(), [&](const Request& r) { return r.tag == owner.tag; }) > 1;
    const auto arrived = arrived_.find(owner.number);
    if (request == outstanding_.end() || request->whole || !shared || arrived == arrived_.end() || !arrived->second.bodySeen
        || !arrived->second.dateSeen)
        return;
    request->whole = true;
    Arrival& arrival = arrived->second;
    arrival.complete = true;
    arrival.status = MailStatus::Ok;
    arrival.text = QStringLiteral("fetch %1: came whole in the reply to %2").arg(owner.number).arg(QString::fromLatin1(owner.tag));
    reconnectsInRow_ = 0;
}

ImapFetchWindow::Settled ImapFetchWindow::settle(const ImapResponse& tagged)
{
    std::vector<Request> answered;
    for (auto it = outstanding_.begin(); it != outstanding_.end();) {
        if (it->tag != tagged.tag) {
            ++it;
            continue;
        }
        answered.push_back(*it);
        it = outstanding_.erase(it);
    }
    if (answered.empty())
        return Settled::Foreign;
    // What a server that answers out of turn left out of a command may have
    // come, and been ignored, in another's turn.
    const bool leftOutOfTurn = strays_ > 0 && std::any_of(answered.begin(), answered.end(), [this](const Request& request) {
        return !request.whole && !bodySeen(request.number);
    });
    if ((tagged.isStatus("BAD") || leftOutOfTurn) && answered.front().pipelined) {
        // This server takes one command at a time: ask again, alone.
        for (const Request& request : answered) {
            if (request.whole)
                continue;
            arrived_.erase(request.number);
            nextRequest_ = qMin(nextRequest_, request.number);
        }
        return Settled::PipelineRefused;
    }
    const QString reply = lineText(tagged.raw);
    for (const Request& request : answered) {
        if (request.whole)
            continue;  // settled as it came, and perhaps delivered since
        Arrival& arrival = arrived_[request.number];
        // A server refuses or leaves out a message of several for reasons of
        // that message alone; the others came whole.
        if (answered.size() > 1 && !arrival.bodySeen) {
            arrived_.erase(request.number);
            askAlone_.insert(request.number);
            nextRequest_ = qMin(nextRequest_, request.number);
            continue;
        }
        arrival.complete = true;
        const QString operation = QStringLiteral("fetch %1").arg(request.number);
        if (tagged.isStatus("OK") && arrival.bodySeen) {
            arrival.status = MailStatus::Ok;
            arrival.text = QStringLiteral("%1: %2").arg(operation, reply);
            reconnectsInRow_ = 0;
            continue;
        }
        // Refused, or gone from the folder since the run began: this message only.
        arrival.status = MailStatus::MessageBad;
        arrival.bytes = {};
        arrival.internalDate = {};
        arrival.text = tagged.isStatus("OK") ? QStringLiteral("%1 failed: the server sent no message (%2)").arg(operation, reply)
                                             : QStringLiteral("%1 failed: %2").arg(operation, reply);
    }
    return Settled::Done;
}

void ImapFetchWindow::lose(qint64 wanted, const QString& reason)
{
    outstanding_.clear();
    for (auto it = arrived_.begin(); it != arrived_.end();)
        it = it->second.complete ? std::next(it) : arrived_.erase(it);
    const qint64 culprit = lowestIncomplete(wanted);
    nextRequest_ = culprit;
    if (culprit > highestListed_ || ++losses_[culprit] < kLossesPerMessage)
        return;
    Arrival given;
    given.complete = true;
    given.status = MailStatus::MessageBad;
    given.text = QStringLiteral("fetch %1 failed: the connection was lost %2 times while reading it (%3)")
                     .arg(culprit)
                     .arg(kLossesPerMessage)
                     .arg(reason);
    arrived_[culprit] = std::move(given);
}

bool ImapFetchWindow::mayReconnect()
{
    if (reconnectsInRow_ >= kReconnectsInRow)
        return false;
    ++reconnectsInRow_;
    return true;
}

}  // namespace tallyhive::platform

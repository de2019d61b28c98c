#pragma once

#include "interfaces/imap_component.h"
#include "platform/imap/imap_fetch_window.h"
#include "platform/imap/imap_options.h"
#include "platform/imap/imap_response_reader.h"
#include "platform/imap/imap_transport.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace tallyhive::platform {

// The IMAP protocol client: commands, responses and raw message bytes over a
// transport; it knows nothing of MIME. It runs on the caller's thread and
// blocks in short slices, asking the notification sink about an abort
// between them. Every call answers with a MailResult (a MailReply when it
// brings something back) whose text says what the server said or what went
// wrong; calls never throw for protocol or network trouble.
//
// Abort: a message whose bytes are still arriving may be completed, so the
// caller's loop gets it and can stop there, but a call gets at most
// kAbortGraceMs after the abort request, however slowly bytes trickle; it is
// then abandoned, and the connection is unusable until the next connect. A
// call with nothing of a message to complete, such as the listing that
// begins a fetch run, is abandoned at the first poll after the request.
//
// Fetch runs read a range of messages by their UIDs, learned in one request
// when the run begins. A run whose connection is lost opens it again the way
// it was opened (host, the commands sent before sign-in, the same sign-in,
// the same mailbox) and goes on where it was, unless the mailbox's
// UIDVALIDITY changed meanwhile.
class ImapClient {
public:
    // Short enough that a stopped run ends within 2 s wherever it waits.
    static constexpr int kAbortGraceMs = 1500;
    // Untagged data one command may bring, apart from the message it asked for.
    static constexpr qint64 kMaxUntaggedBytes = 64LL * 1024 * 1024;
    static constexpr int kReconnectAttempts = ImapFetchWindow::kReconnectsInRow;
    static constexpr int kLossesPerMessage = ImapFetchWindow::kLossesPerMessage;

    struct RawMessage {
        QByteArray bytes;
        QDateTime internalDate;  // invalid when the server gave none that could be read
    };
    struct RawRunMessage {
        MailStatus status = MailStatus::RunEnded;
        RawMessage message;
        QString text;  // what the log says about it; never holds the password
    };

    explicit ImapClient(std::unique_ptr<ImapTransport> transport, ImapOptions options = {});

    const ImapOptions& options() const { return options_; }

    MailResult connect(const ImapServer& server);
    // Open, signed in, no run going and nothing known to be wrong with it.
    bool signedIn() const { return link_ == Link::SignedIn && unusableReason_.isEmpty() && !run_ && transport_->isOpen(); }
    // The response lines, whatever the server's status; Failed when no reply came.
    MailReply<QString> sendRawCommand(const QString& command);
    MailResult login(const QString& user, const QString& password);
    // SASL XOAUTH2 with a token from the source; a refused token is replaced
    // by a refreshed one once, on the same connection. TokenRefused when the
    // server refused the tokens (or none could be had); MailboxNotServed when
    // it took one and then refused the first command after it (Outlook.com
    // with IMAP switched off for the mailbox: "BAD User is authenticated but
    // not connected."); Failed for connection trouble.
    MailResult authenticateXoauth2(const QString& user, AccessTokenSource tokens);
    MailResult selectMailbox(const QString& mailbox);
    int numMessages() const { return selected_.count; }
    MailReply<QStringList> listMailboxes(const QString& reference, const QString& pattern);
    MailReply<std::vector<MailboxEntry>> listMailboxEntries(const QString& reference, const QString& pattern);
    // The mailbox the latest listing marked with an RFC 6154 role ("\\Sent",
    // "\\Drafts", "\\Junk", "\\Trash"); empty when none did.
    QString specialUseMailbox(const QString& role) const;
    void disconnect();
    void setNotifications(ImapNotifications* sink) { sink_ = sink; }
    ImapNotifications* notifications() const { return sink_; }
    // Starts reading the messages first .. last (sequence numbers) of the
    // selected mailbox; see ImapComponent::beginFetchRun.
    MailResult beginFetchRun(int first, int last);
    void endFetchRun();
    // The messages of the run's range as the server listed them when it
    // began, ascending; empty when no run goes on.
    std::vector<ImapFetchWindow::Entry> runEntries() const;
    // The port the latest connect went to, and the bytes the selected
    // mailbox was asked for by: the server's own name for it.
    int port() const { return opened_.server.port; }
    QByteArray selectedWireName() const { return selected_.wire; }
    // The folder's UIDVALIDITY the run reads under.
    quint32 runUidValidity() const { return run_ ? run_->uidValidity() : 0; }
    // Messages of the run had elsewhere (ascending): never asked for.
    void leaveOutOfRun(const std::vector<qint64>& numbers);

    // One message's bytes and arrival date, outside any run.
    MailReply<RawMessage> fetchRaw(int number, bool isUid = false);
    // Message `number` of the run, without any MIME work.
    RawRunMessage fetchRunRaw(int number);
    // Files what the server has sent meanwhile and keeps the window full,
    // without waiting for anything; true when message `number` of the run
    // has come whole, so that fetchRunRaw gives it at once.
    bool runMessageReady(int number);

private:
    struct Exchange {
        std::vector<ImapResponse> untagged;
        ImapResponse tagged;
        bool ok() const { return tagged.isStatus("OK"); }
    };
    // Takes the untagged responses of one command that the caller wants; the
    // others are only noted.
    using UntaggedSink = std::function<void(ImapResponse&&)>;

    // Tracks one call's abort request and how long the server has been silent.
    class Watch {
    public:
        // graceMs: how long a stopped call may still go on to complete what is arriving.
        explicit Watch(ImapClient& client, int graceMs = kAbortGraceMs);
        void poll();  // asks the sink when a poll is due
        bool stopRequested() const { return stopped_; }
        bool abandonDue() const { return stopped_ && sinceStop_.elapsed() >= graceMs_; }
        void activity() { idle_.restart(); }  // bytes came or a request went
        qint64 idleMs() const { return idle_.elapsed(); }
        int graceMs() const { return graceMs_; }

    private:
        ImapClient& client_;
        int graceMs_;
        QElapsedTimer idle_;
        QElapsedTimer sincePoll_;
        QElapsedTimer sinceStop_;
        bool stopped_ = false;
    };

    class Call;

    // Where the connection stands; a lost one leaves unusableReason_ to tell
    // the next call why. Abandoned and Disconnected keep a fetch run from
    // reconnecting; a disconnect also outlives the reconnect it interrupts,
    // so that one, should it open all the same, is closed again at once.
    enum class Link {
        Closed,
        Open,
        SignedIn,
        Abandoned,                // the latest call was given up after a stop request
        Disconnected,             // disconnect() ran inside another call
        OpenedAfterDisconnect,    // a reconnect opened although disconnect() ran meanwhile
    };
    // The one rule for re-entry: a call is refused while another runs,
    // except while a lost connection is opened again inside it.
    enum class Activity { Idle, InCall, Reopening };

    bool connected() const { return link_ == Link::Open || link_ == Link::SignedIn || link_ == Link::OpenedAfterDisconnect; }
    bool disconnectedInCall() const { return link_ == Link::Disconnected || link_ == Link::OpenedAfterDisconnect; }
    bool runMayNotReconnect() const { return link_ == Link::Abandoned || disconnectedInCall(); }
    void noteSignedIn(bool signedIn);
    void noteClosed();

    bool openConnection(const QString& operation, Watch& watch);
    std::optional<Exchange> run(const QString& operation, const std::vector<QByteArray>& pieces, const UntaggedSink& sink = {},
                                int graceMs = kAbortGraceMs);
    std::optional<ImapResponse> awaitResponse(const QString& operation, Watch& watch, qint64 idleLimitMs);
    bool countUntagged(const QString& operation, qint64 bytes);
    void noteUntagged(const ImapResponse& response);
    void noteSpecialUse(const MailboxEntry& entry);
    void reportFetchProgress();
    MailResult signIn(const QString& user, const QString& password);
    MailResult signInWithTokens(const QString& user, const AccessTokenSource& tokens);
    MailResult proveMailboxServed(const QString& operation);
    // Offers one token: true accepted, false refused, nothing when the connection failed.
    std::optional<bool> offerToken(const QString& operation, const QByteArray& payload, bool initialResponse);
    void keepSecret(const QString& secret);
    MailResult select(const QString& mailbox);

    // Fetch runs: the reading and writing; the run's window keeps the count.
    void requestMore(qint64 wanted, Watch& watch);
    bool pump(const QString& operation, Watch& watch, qint64 wanted);
    bool reopen(Watch& watch);
    bool openAgain(Watch& watch);
    void dropRun();
    RawRunMessage finishRunMessage(ImapFetchWindow::Arrival arrival);
    RawRunMessage endRun(const QString& text);

    void breakConnection(const QString& text);
    void closeQuietly();
    void recordReply(const QString& operation, const Exchange& exchange);
    void setError(const QString& text);
    // The latest call's status, with its text.
    MailResult answer(MailStatus status) const { return {status, lastError_}; }
    template <typename T>
    MailReply<T> answer(T value) const
    {
        return {{MailStatus::Ok, lastError_}, std::move(value)};
    }
    QByteArray nextTag();
    bool pollAbort();

    // How the connection was opened, so that a fetch run can open it again the same way.
    struct HowOpened {
        ImapServer server{QString(), 0};   // as the latest connect was told
        std::vector<QString> preamble;     // raw commands sent on this connection before sign-in
        // Signs in again the way the latest successful sign-in did; a
        // reconnect uses it, so it never asks the user anything.
        std::function<MailResult()> signInAgain;
    };
    struct SelectedMailbox {
        QString name;
        QByteArray wire;  // the bytes it was selected by
        int count = 0;
        quint32 uidValidity = 0;
        bool byLatestCall = false;  // no other call has been made since it was selected
    };
    // Of the latest listing.
    struct Listing {
        std::map<QString, QString> specialUse;  // role in lower case -> mailbox
        // For every name shown the bytes the server listed: a name need not
        // come back the same through decoding and encoding.
        QHash<QString, QByteArray> listedNames;
    };
    struct Progress {
        bool reporting = false;
        int lastPercent = -1;
    };

    std::unique_ptr<ImapTransport> transport_;
    const ImapOptions options_;
    ImapResponseReader reader_;
    ImapNotifications* sink_ = nullptr;
    HowOpened opened_;
    Link link_ = Link::Closed;
    Activity activity_ = Activity::Idle;
    bool pipelineRefused_ = false;     // the server answered a pipelined FETCH with BAD
    QString unusableReason_;
    int tagCounter_ = 0;
    SelectedMailbox selected_;
    Listing listing_;
    qint64 untaggedBytes_ = 0;         // of the command being answered
    QByteArray byeText_;
    QString lastError_;
    std::vector<QString> secrets_;     // the password as it may come back from a server
    std::optional<ImapFetchWindow> run_;
    Progress progress_;
};

}  // namespace tallyhive::platform

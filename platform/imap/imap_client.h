#pragma once

#include "platform/imap/imap_response_reader.h"
#include "platform/imap/imap_transport.h"
#include "platform/imap_component.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace tallyhive::platform {

// The IMAP protocol client: commands, responses and raw message bytes over a
// transport; it knows nothing of MIME. It runs on the caller's thread and
// blocks in short slices, asking the notification sink about an abort
// between them. Status results: 1 is success, anything else failure; calls
// never throw for protocol or network trouble.
//
// Abort: a message whose bytes are still arriving is completed, so the
// caller's loop gets it and can stop there; only a server that stays silent
// for a short grace after the abort request is abandoned, and the connection
// is then unusable until the next connect.
class ImapClient {
public:
    static constexpr int kConnectTimeoutMs = 30000;
    static constexpr int kAbortGraceMs = 1000;

    struct RawMessage {
        QByteArray bytes;
        QDateTime internalDate;  // invalid when the server gave none that could be read
    };

    explicit ImapClient(std::unique_ptr<ImapTransport> transport);

    void setSsl(bool ssl) { ssl_ = ssl; }
    void setPort(int port) { port_ = port; }
    int connect(const QString& host);
    QString sendRawCommand(const QString& command);
    int login(const QString& user, const QString& password);
    // SASL XOAUTH2 with a token from the source; a refused token is replaced
    // by a refreshed one once, on the same connection. 1 accepted,
    // kTokenRefused refused (or no token), 0 connection trouble.
    int authenticateXoauth2(const QString& user, AccessTokenSource tokens);
    int selectMailbox(const QString& mailbox);
    int numMessages() const { return messageCount_; }
    std::optional<QStringList> listMailboxes(const QString& reference, const QString& pattern);
    // The mailbox the latest listing marked with an RFC 6154 role ("\\Sent",
    // "\\Drafts", "\\Junk", "\\Trash"); empty when none did.
    QString specialUseMailbox(const QString& role) const;
    QString lastErrorText() const { return lastError_; }
    void disconnect();
    void setNotifications(ImapNotifications* sink) { sink_ = sink; }
    ImapNotifications* notifications() const { return sink_; }

    // One message's bytes and arrival date; nothing when the fetch failed or was abandoned.
    std::optional<RawMessage> fetchRaw(int number, bool isUid = false);

private:
    struct Exchange {
        std::vector<ImapResponse> untagged;
        ImapResponse tagged;
        bool ok() const { return tagged.isStatus("OK"); }
    };

    // Tracks one call's abort request and how long the server has been silent.
    class Watch {
    public:
        explicit Watch(ImapClient& client);
        bool abortRequested();  // polls the sink when a poll is due
        void sawBytes() { idle_.restart(); }
        qint64 idleLimitMs(qint64 normalLimitMs) const;
        qint64 idleMs() const { return idle_.elapsed(); }
        bool aborting() const { return aborting_; }

    private:
        ImapClient& client_;
        QElapsedTimer idle_;
        QElapsedTimer sincePoll_;
        bool aborting_ = false;
    };

    class BusyGuard {
    public:
        explicit BusyGuard(ImapClient& client) : client_(client) { client_.busy_ = true; }
        ~BusyGuard() { client_.busy_ = false; }
        BusyGuard(const BusyGuard&) = delete;
        BusyGuard& operator=(const BusyGuard&) = delete;

    private:
        ImapClient& client_;
    };

    std::optional<Exchange> run(const QString& operation, const std::vector<QByteArray>& pieces);
    std::optional<ImapResponse> awaitResponse(const QString& operation, Watch& watch, qint64 idleLimitMs);
    void noteUntagged(const ImapResponse& response);
    void noteSpecialUse(const std::vector<ImapToken>& attributes, const QString& name);
    void reportFetchProgress();
    bool usable(const QString& operation);
    bool enter(const QString& operation);
    void breakConnection(const QString& text);
    void closeQuietly();
    void recordReply(const QString& operation, const Exchange& exchange);
    void setError(const QString& text);
    QByteArray nextTag();
    bool pollAbort();

    std::unique_ptr<ImapTransport> transport_;
    ImapResponseReader reader_;
    ImapNotifications* sink_ = nullptr;
    bool ssl_ = false;
    int port_ = 0;
    bool connected_ = false;
    bool busy_ = false;
    QString unusableReason_;
    int tagCounter_ = 0;
    int messageCount_ = 0;
    std::map<QString, QString> specialUse_;  // role in lower case -> mailbox
    QByteArray byeText_;
    QString lastError_;
    std::vector<QString> secrets_;  // the password as it may come back from a server
    bool reportingProgress_ = false;
    int lastPercent_ = -1;
};

}  // namespace tallyhive::platform

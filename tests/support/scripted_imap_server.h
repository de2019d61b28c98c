#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <vector>

namespace tallyhive::testing {

// A small IMAP server of our own for tests: implicit TLS on 127.0.0.1, one
// user, a few mailboxes held in memory, and misbehaviour on request. It runs
// on a thread of its own, because the client under test blocks the thread
// that calls it.
//
//     ScriptedImapServer server(ScriptedImapServer::normalMailbox(3));
//     server.applyEnvironment();   // TALLYHIVE_CA_FILE, _IMAP_HOST, _IMAP_PORT
//     auto imap = platform::createImapComponent(imapOptionsFromConfig());  // reads them
//     imap->connect({server.host(), server.port()});
//
// It understands CAPABILITY, NOOP, ID, LOGIN (quoted or literal arguments),
// AUTHENTICATE XOAUTH2, SELECT, LIST, FETCH of a number or a range, UID FETCH
// of UIDs (a set answered as one command per UID, one tagged reply), and LOGOUT. Message n of a mailbox has the UID kFirstUid + n - 1,
// so sequence numbers and UIDs differ; a mailbox's messages outlive connections.
class ScriptedImapServer {
public:
    enum class IdAnswer {
        Normal,  // "* ID (...)" and OK
        Refuse,  // a tagged BAD
        Hangup,  // the connection is closed instead of an answer
    };

    // What FETCH commands get.
    enum class FetchAnswer {
        Normal,
        RefuseMessages,  // NO for every message; listing UIDs still works
        RefuseAll,       // NO for every FETCH
        Endless,         // messages answered with untagged lines that never end
    };

    static constexpr quint32 kFirstUid = 1001;

    struct Script {
        QString user = QStringLiteral("tester@example.org");
        QString password = QStringLiteral("Correct-Horse-7");
        QByteArray greeting = "* OK Scripted IMAP ready";
        IdAnswer idAnswer = IdAnswer::Normal;
        int signInDelayMs = 0;                                // LOGIN and AUTHENTICATE answer this late
        QStringList acceptedTokens;                           // XOAUTH2 access tokens valid for user
        bool initialResponse = true;                          // CAPABILITY offers SASL-IR
        std::map<QString, QByteArray> specialUse;             // mailbox -> its special-use flag, e.g. "\\Sent"
        std::map<QString, std::vector<QByteArray>> mailboxes{{QStringLiteral("INBOX"), {}}};  // raw messages
        bool literalMailboxNames = false;                     // LIST sends names as literals
        // A mailbox LIST gives by these bytes instead of its encoded name (a
        // literal where they cannot be quoted); SELECT finds it by them only.
        std::map<QString, QByteArray> listedAs;
        int dropAtFetch = 0;    // close the connection halfway through this message's bytes
        bool dropEveryFetch = false;  // the same for every message, on every connection
        int listingDelayMs = 0;  // a FETCH of a range without bodies (the UID listing) answers this late
        qint64 listedSize = -1;  // when not negative, that listing gives every message this RFC822.SIZE
        int stallAtFetch = 0;   // send half of this message's bytes, then nothing more
        int pieceSize = 0;      // message bytes per write; 0 sends them at once
        int pieceDelayMs = 0;   // pause between pieces
        QString certificateHost = QStringLiteral("localhost");  // the name the certificate is issued to
        quint32 uidValidity = 7;
        quint32 uidValidityAfterReconnect = 0;  // when not 0, connections after the first see this
        qint64 announcedCount = -1;             // SELECT announces this many messages instead of the real count
        FetchAnswer fetchAnswer = FetchAnswer::Normal;
        qint64 longListName = 0;                // LIST adds a mailbox with a name this long
        int expungeBeforeFetch = 0;             // the first message fetch finds this number expunged by another client
        bool badToPipelined = false;            // a FETCH sent before the previous reply was complete gets BAD
        // Message `generatedNumber` of the Inbox is made while it is sent,
        // `generatedBytes` long, so the server never holds it.
        int generatedNumber = 0;
        int generatedCount = 1;  // so are the messages after it, this many in all
        qint64 generatedBytes = 0;
        bool generatedAttachment = false;  // most of it a base64 attachment rather than the text body
        bool generatedEmptyLines = false;  // a text body of empty lines, the slowest kind to convert
    };

    ScriptedImapServer();  // the default Script
    explicit ScriptedImapServer(Script script);
    ~ScriptedImapServer();
    ScriptedImapServer(const ScriptedImapServer&) = delete;
    ScriptedImapServer& operator=(const ScriptedImapServer&) = delete;

    QString host() const { return QStringLiteral("127.0.0.1"); }
    int port() const;
    // The PEM that makes the server's certificate trusted.
    QString caFile() const;
    // Points this process's IMAP settings (TALLYHIVE_CA_FILE, TALLYHIVE_IMAP_HOST,
    // TALLYHIVE_IMAP_PORT) at the server.
    void applyEnvironment() const;

    // Every command received, without its tag; a LOGIN shows the user only,
    // an AUTHENTICATE only its mechanism.
    QStringList commands() const;
    // Numbers of the messages of a mailbox that a fetch has marked \Seen.
    std::vector<int> seen(const QString& mailbox) const;
    // Connections accepted so far.
    int connections() const;
    // From now on no listing delay, no cut, no slow pieces: the next run reads normally.
    void calmDown();

    // "count" small messages in the Inbox, plus empty Drafts, Sent, Junk and Deleted.
    static Script normalMailbox(int count);
    // Message n of normalMailbox: "Subject n" from "Sender n <sn@example.org>".
    static QByteArray sampleMessage(int n);

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace tallyhive::testing

#pragma once

#include <QString>
#include <QtGlobal>

namespace tallyhive::platform {

// The fetch window's limits, all of them: what a fetch run asks for ahead of
// the message it delivers, and how far conversion runs ahead of the caller.
struct FetchWindowLimits {
    // FETCH commands kept in flight; 1 asks one message at a time. Deep enough to
    // hide a distant server's round trips, shallow enough that providers
    // which throttle deep pipelines leave it alone.
    int requests = 16;
    // Messages in a row asked for in one command, so that the window holds
    // requests times as many. A server sends the messages of one command in
    // one go; a command for each cost it, and the client, a wake-up and a
    // reply of its own, and on a small machine Get All went at the server's pace.
    int messagesPerRequest = 4;
    // What that grows to while the caller waits on the link: on a distant
    // server, 16 commands of 4 messages a round trip left the link idle.
    int mostPerRequest = 256;
    // Asked for or arrived and not yet delivered; counted as the bytes come,
    // whatever sizes the server listed.
    qint64 bytes = 32LL * 1024 * 1024;
    // Messages, and their bytes, handed to the conversion threads and not yet
    // converted: enough to keep them busy through a large message or a pause
    // of the server's, little enough that memory stays bounded.
    int convertAhead = 32;
    qint64 convertAheadBytes = 16LL * 1024 * 1024;
};

// What the IMAP component is told by whoever wires the program together; it
// reads no environment itself. The defaults are the built-in ones.
struct ImapOptions {
    QString caFile;                // an extra trusted CA (PEM) besides the system's; certificates are always verified
    int connectTimeoutMs = 30000;  // to open the connection, TLS handshake included
    int readTimeoutMs = 30000;     // a call fails when the server sends nothing for this long
    int reconnectDelayMs = 1000;   // before a fetch run's first reconnect; each later one waits twice as long
    FetchWindowLimits window;
};

}  // namespace tallyhive::platform

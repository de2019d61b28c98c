#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace tallyhive::platform {

// The byte stream under the IMAP client, kept behind an interface so that
// tests can play a server's side of a conversation without a socket.
// Every blocking member returns within the time it is given.
class ImapTransport {
public:
    virtual ~ImapTransport() = default;

    // Connects and completes the TLS handshake, certificate verified.
    // keepWaiting is called at least every 10 ms while this blocks; returning
    // false from it gives up. False with errorText() on failure.
    virtual bool open(const QString& host, int port, int timeoutMs, const std::function<bool()>& keepWaiting) = 0;
    virtual void write(const QByteArray& bytes) = 0;
    // Waits at most waitMs for bytes and returns what has arrived (possibly nothing).
    virtual QByteArray read(int waitMs) = 0;
    // False once the connection failed or either side closed it.
    virtual bool isOpen() const = 0;
    virtual QString errorText() const = 0;
    virtual void close() = 0;
};

}  // namespace tallyhive::platform

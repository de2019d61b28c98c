#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace tallyhive::platform {

struct TcpConnectResult {
    int descriptor = -1;  // a connected socket, or -1
    QString errorText;
};

struct HostLookupResult {
    QStringList addresses;  // numeric addresses, in the order to try them
    QString errorText;      // why there are none
};

// Blocks for as long as name resolution takes.
using HostLookup = std::function<HostLookupResult(const QString& host)>;

// The system resolver (getaddrinfo). It shares nothing with its caller, so a
// lookup left running on its own thread after an abort is harmless.
HostLookupResult lookUpHost(const QString& host);

// Opens a TCP connection without blocking for longer than a slice at a time,
// so the caller can keep polling for an abort (Qt's own waitForConnected gives
// up the attempt when its wait runs out, which rules out waiting in slices).
// A host name is resolved on a thread of its own for the same reason; the
// lookup's time counts against the timeout.
TcpConnectResult connectTcp(const QString& host, int port, int timeoutMs, int sliceMs,
                            const std::function<bool()>& keepWaiting, const HostLookup& lookup = lookUpHost);

}  // namespace tallyhive::platform

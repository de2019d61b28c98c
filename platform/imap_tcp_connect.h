#pragma once

#include <QString>

#include <functional>

namespace tallyhive::platform {

struct TcpConnectResult {
    int descriptor = -1;  // a connected socket, or -1
    QString errorText;
};

// Opens a TCP connection without blocking for longer than a slice at a time,
// so the caller can keep polling for an abort (Qt's own waitForConnected gives
// up the attempt when its wait runs out, which rules out waiting in slices).
TcpConnectResult connectTcp(const QString& host, int port, int timeoutMs, int sliceMs,
                            const std::function<bool()>& keepWaiting);

}  // namespace tallyhive::platform

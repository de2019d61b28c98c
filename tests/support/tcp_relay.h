#pragma once

#include <QString>

#include <memory>

namespace tallyhive::testing {

// A TCP relay of our own on 127.0.0.1 for tests and benchmarks: it passes
// bytes between the client and a target server unchanged (TLS goes through
// end to end) and misbehaves on request: it cuts connections after a number
// of bytes, refuses reconnects, and holds every chunk for a while in each
// direction to stand in for a distant server. It runs on a thread of its own.
//
//     TcpRelay relay(server.host(), server.port(), {.cutAfterBytes = 50000});
//     client.connect(relay.host());   // on relay.port()
class TcpRelay {
public:
    struct Options {
        // A connection is cut (both sides closed) once this many bytes have
        // gone from the server to the client on it; negative: never.
        qint64 cutAfterBytes = -1;
        // Which connection is cut, counted from 1; 0 cuts every one.
        int cutConnection = 1;
        // Connections after this many are closed as soon as they arrive
        // (reconnects refused); 0 accepts every one.
        int acceptConnections = 0;
        // Each chunk waits this long before it is passed on, in either
        // direction: half the round-trip time.
        int delayMs = 0;
    };

    TcpRelay(const QString& targetHost, int targetPort, Options options);
    ~TcpRelay();
    TcpRelay(const TcpRelay&) = delete;
    TcpRelay& operator=(const TcpRelay&) = delete;

    QString host() const { return QStringLiteral("127.0.0.1"); }
    int port() const;
    // Connections accepted so far, refused ones included.
    int connections() const;
    // Connections cut after their byte allowance.
    int cuts() const;
    // Bytes passed from the server to the client on connection `number` (from 1).
    qint64 bytesToClient(int number) const;

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace tallyhive::testing

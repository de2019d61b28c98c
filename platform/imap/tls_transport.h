#pragma once

#include "platform/imap/imap_transport.h"

#include <QSslSocket>

#include <memory>

namespace tallyhive::platform {

// The real byte stream: a socket with implicit TLS. The peer's certificate is
// checked against the system's trusted CAs plus, when caFile names one, that
// PEM file; verification is never switched off.
class TlsTransport : public ImapTransport {
public:
    explicit TlsTransport(QString caFile = {}) : caFile_(std::move(caFile)) {}

    bool open(const QString& host, int port, int timeoutMs, const std::function<bool()>& keepWaiting) override;
    void write(const QByteArray& bytes) override;
    QByteArray read(int waitMs) override;
    bool isOpen() const override;
    QString errorText() const override;
    void close() override;

private:
    bool configureTrust();
    bool awaitHandshake(int timeoutMs, const std::function<bool()>& keepWaiting);
    QString socketErrorText() const;

    // A fresh socket per connection: one that has been through a handshake
    // cannot start another.
    std::unique_ptr<QSslSocket> socket_ = std::make_unique<QSslSocket>();
    QString caFile_;
    QString error_;
};

}  // namespace tallyhive::platform

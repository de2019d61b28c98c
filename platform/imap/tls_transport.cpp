#include "platform/imap/tls_transport.h"

#include "platform/imap/imap_tcp_connect.h"

#include <QElapsedTimer>
#include <QSslCertificate>
#include <QSslConfiguration>

#include <unistd.h>

namespace tallyhive::platform {
namespace {

// keepWaiting runs this often while a connection opens; it lets the window breathe.
constexpr int kSliceMs = 10;
// What the socket may hold that the client has not read yet; past it the
// server is made to wait, so a client busy elsewhere never piles up a flood.
constexpr qint64 kReadBufferBytes = 4 * 1024 * 1024;

bool stillWaiting(QAbstractSocket::SocketError error)
{
    return error == QAbstractSocket::SocketTimeoutError || error == QAbstractSocket::UnknownSocketError;
}

}  // namespace

bool TlsTransport::open(const QString& host, int port, int timeoutMs, const std::function<bool()>& keepWaiting)
{
    close();
    socket_ = std::make_unique<QSslSocket>();
    error_.clear();

    QElapsedTimer clock;
    clock.start();
    const TcpConnectResult tcp = connectTcp(host, port, timeoutMs, kSliceMs, keepWaiting);
    if (tcp.descriptor < 0) {
        error_ = tcp.errorText;
        return false;
    }
    if (!socket_->setSocketDescriptor(tcp.descriptor)) {
        ::close(tcp.descriptor);
        error_ = socketErrorText();
        return false;
    }
    socket_->setReadBufferSize(kReadBufferBytes);
    // Requests are small and often follow one another before the last was
    // acknowledged; waiting to bundle them would cost a round trip each.
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (!configureTrust()) {
        socket_->abort();
        return false;
    }
    socket_->setPeerVerifyName(host);
    socket_->startClientEncryption();
    return awaitHandshake(timeoutMs - static_cast<int>(clock.elapsed()), keepWaiting);
}

bool TlsTransport::configureTrust()
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    const QString& caFile = caFile_;
    if (!caFile.isEmpty()) {
        const QList<QSslCertificate> extra = QSslCertificate::fromPath(caFile, QSsl::Pem);
        if (extra.isEmpty()) {
            error_ = QStringLiteral("no certificate could be read from the CA file %1").arg(caFile);
            return false;
        }
        configuration.addCaCertificates(extra);
    }
    socket_->setSslConfiguration(configuration);
    return true;
}

bool TlsTransport::awaitHandshake(int timeoutMs, const std::function<bool()>& keepWaiting)
{
    QElapsedTimer clock;
    clock.start();
    while (!socket_->isEncrypted()) {
        if (!keepWaiting()) {
            error_ = QStringLiteral("TLS handshake abandoned");
            socket_->abort();
            return false;
        }
        if (clock.elapsed() >= timeoutMs) {
            error_ = QStringLiteral("TLS handshake timed out");
            socket_->abort();
            return false;
        }
        if (socket_->waitForEncrypted(kSliceMs))
            break;
        if (socket_->state() != QAbstractSocket::ConnectedState || !stillWaiting(socket_->error())) {
            error_ = QStringLiteral("TLS handshake failed: ") + socketErrorText();
            socket_->abort();
            return false;
        }
    }
    return true;
}

void TlsTransport::write(const QByteArray& bytes)
{
    if (socket_->write(bytes) != bytes.size())
        error_ = socketErrorText();
    socket_->flush();
}

namespace {

constexpr qint64 kMostBytesPerRead = 256 * 1024;

}  // namespace

QByteArray TlsTransport::read(int waitMs)
{
    if (socket_->bytesToWrite() > 0)
        socket_->waitForBytesWritten(waitMs);
    if (socket_->bytesAvailable() == 0 && socket_->state() == QAbstractSocket::ConnectedState)
        socket_->waitForReadyRead(waitMs);
    // What a fast server has piled up may be megabytes of short responses;
    // handed over in pieces, the caller gets to its abort polls in between.
    const QByteArray bytes = socket_->read(kMostBytesPerRead);
    if (bytes.isEmpty() && socket_->state() != QAbstractSocket::ConnectedState && error_.isEmpty())
        error_ = socketErrorText();
    return bytes;
}

bool TlsTransport::isOpen() const
{
    return socket_->state() == QAbstractSocket::ConnectedState || socket_->bytesAvailable() > 0;
}

QString TlsTransport::errorText() const { return error_; }

void TlsTransport::close()
{
    socket_->abort();
}

QString TlsTransport::socketErrorText() const
{
    QString text = socket_->errorString();
    const QList<QSslError> sslErrors = socket_->sslHandshakeErrors();
    for (const QSslError& error : sslErrors) {
        if (!text.contains(error.errorString()))
            text += QStringLiteral("; ") + error.errorString();
    }
    if (socket_->error() == QAbstractSocket::RemoteHostClosedError || text.isEmpty())
        text = QStringLiteral("the server closed the connection");
    return text;
}

}  // namespace tallyhive::platform

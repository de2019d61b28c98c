#include "auth/loopback_listener.h"

#include "app/texts.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace tallyhive::auth {
namespace {

// A browser's request for the answer is well under this; anything longer is
// not ours and must not cost memory.
constexpr qint64 kMaxRequestBytes = 8 * 1024;
constexpr int kMaxOpenConnections = 32;
// A connection that sends no complete request within this is dropped.
constexpr int kRequestWaitMs = 10000;
constexpr int kPortAttempts = 5;

QByteArray page(const QString& text)
{
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + texts::AppTitle.toHtmlEscaped().toUtf8()
           + "</title></head><body><p>" + text.toHtmlEscaped().toUtf8() + "</p></body></html>";
}

}  // namespace

LoopbackListener::LoopbackListener(QString expectedState, QObject* parent)
    : QObject(parent), expectedState_(std::move(expectedState))
{
}

LoopbackListener::~LoopbackListener() { close(); }

bool LoopbackListener::listen()
{
    for (int attempt = 0; attempt < kPortAttempts; ++attempt) {
        close();
        auto* v4 = new QTcpServer(this);
        servers_.push_back(v4);
        if (!v4->listen(QHostAddress(QHostAddress::LocalHost), 0))
            continue;
        port_ = v4->serverPort();
        auto* v6 = new QTcpServer(this);
        servers_.push_back(v6);
        // A machine without ::1 leaves "localhost" to 127.0.0.1; a port that
        // is taken there means another try with a new one.
        if (!v6->listen(QHostAddress(QHostAddress::LocalHostIPv6), port_)) {
            if (v6->serverError() == QAbstractSocket::AddressInUseError)
                continue;
            servers_.pop_back();
            delete v6;
        }
        for (QTcpServer* server : servers_)
            connect(server, &QTcpServer::newConnection, this, [this, server] { accept(*server); });
        return true;
    }
    close();
    return false;
}

void LoopbackListener::close()
{
    for (QTcpServer* server : servers_) {
        server->close();
        server->deleteLater();
    }
    servers_.clear();
    for (QTcpSocket* socket : sockets_) {
        socket->disconnect(this);
        socket->flush();  // the page for the answer, should it still wait to go
        socket->abort();
        socket->deleteLater();
    }
    sockets_.clear();
    port_ = 0;
}

void LoopbackListener::accept(QTcpServer& server)
{
    while (QTcpSocket* socket = server.nextPendingConnection()) {
        if (static_cast<int>(sockets_.size()) >= kMaxOpenConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setParent(this);
        // Qt then reads no more than this from the system: a huge request
        // stays in the kernel until the connection is dropped.
        socket->setReadBufferSize(kMaxRequestBytes);
        sockets_.push_back(socket);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { drop(socket); });
        QTimer::singleShot(kRequestWaitMs, socket, [this, socket] { drop(socket); });
        read(socket);
    }
}

void LoopbackListener::read(QTcpSocket* socket)
{
    if (socket->state() != QAbstractSocket::ConnectedState)
        return;  // answered already, or going
    const QByteArray seen = socket->peek(kMaxRequestBytes);
    const qsizetype headerEnd = seen.indexOf("\r\n\r\n");
    if (headerEnd < 0) {
        if (seen.size() >= kMaxRequestBytes)
            reply(socket, "431 Request Header Fields Too Large", {});
        return;
    }
    // Read all of it, so closing does not reset the connection under the page.
    socket->read(headerEnd + 4);
    const QList<QByteArray> requestLine = seen.left(seen.indexOf("\r\n")).split(' ');
    if (requestLine.size() != 3 || requestLine[0] != "GET")
        return reply(socket, "405 Method Not Allowed", {});
    const QByteArray target = requestLine[1];
    const qsizetype queryStart = target.indexOf('?');
    if (target.left(queryStart) != "/")
        return reply(socket, "404 Not Found", {});
    const QUrlQuery query(QString::fromLatin1(queryStart < 0 ? QByteArray() : target.mid(queryStart + 1)));
    const bool ours = query.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded) == expectedState_;
    const bool answer = query.hasQueryItem(QStringLiteral("code")) || query.hasQueryItem(QStringLiteral("error"));
    if (answered_ || !ours || !answer)
        return reply(socket, "400 Bad Request", {});
    answered_ = true;
    const bool failed = query.hasQueryItem(QStringLiteral("error"));
    reply(socket, "200 OK", page(failed ? texts::SignInPageFailed : texts::SignInPageDone));
    emit answered(query);
}

void LoopbackListener::reply(QTcpSocket* socket, const QByteArray& status, const QByteArray& body)
{
    // No outside resource may load, and no page is kept.
    socket->write("HTTP/1.1 " + status
                  + "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Security-Policy: default-src 'none'\r\n"
                    "Cache-Control: no-store\r\nConnection: close\r\nContent-Length: "
                  + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    socket->disconnectFromHost();
}

void LoopbackListener::drop(QTcpSocket* socket)
{
    const auto found = std::find(sockets_.begin(), sockets_.end(), socket);
    if (found == sockets_.end())
        return;
    sockets_.erase(found);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

}  // namespace tallyhive::auth

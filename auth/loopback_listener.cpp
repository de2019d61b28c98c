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
    for (const Connection& connection : connections_) {
        connection.socket->disconnect(this);
        connection.socket->flush();  // the page for the answer, should it still wait to go
        connection.socket->abort();
        connection.socket->deleteLater();
    }
    connections_.clear();
    port_ = 0;
}

void LoopbackListener::accept(QTcpServer& server)
{
    while (QTcpSocket* socket = server.nextPendingConnection()) {
        if (static_cast<int>(connections_.size()) >= kMaxOpenConnections)
            makeRoom();
        socket->setParent(this);
        // Qt then reads no more than this from the system: a huge request
        // stays in the kernel until the connection is dropped.
        socket->setReadBufferSize(kMaxRequestBytes);
        connections_.push_back({socket, ++activity_});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            for (Connection& connection : connections_) {
                if (connection.socket == socket)
                    connection.lastActive = ++activity_;
            }
            read(socket);
        });
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
    // Nothing else is wanted of the port, and newcomers still knocking must
    // not hold up the token exchange that follows.
    for (QTcpServer* server : servers_)
        server->close();
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
    // Out now, not when the event loop next gets round to it: a stream of
    // newcomers can keep it busy accepting.
    socket->flush();
    socket->disconnectFromHost();
}

// Whoever holds every slot and reopens each one dropped keeps only
// connections that sent nothing for longest; a browser's request comes with
// its connection and is answered before that one could ever be the idlest.
void LoopbackListener::makeRoom()
{
    // One answered already only waits for its page to go out.
    QTcpSocket* socket = nullptr;
    quint64 since = 0;
    for (const Connection& connection : connections_) {
        if (connection.socket->state() == QAbstractSocket::ConnectedState && (!socket || connection.lastActive < since)) {
            socket = connection.socket;
            since = connection.lastActive;
        }
    }
    if (!socket)
        return;
    // What the system holds for it and Qt has not read yet is heard first:
    // a request that is there gets its answer rather than a reset.
    socket->waitForReadyRead(0);
    if (socket->state() == QAbstractSocket::ConnectedState)
        drop(socket);
}

void LoopbackListener::drop(QTcpSocket* socket)
{
    const auto found = std::find_if(connections_.begin(), connections_.end(),
                                    [socket](const Connection& connection) { return connection.socket == socket; });
    if (found == connections_.end())
        return;
    connections_.erase(found);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

}  // namespace tallyhive::auth

#pragma once

#include <QObject>
#include <QString>
#include <QUrlQuery>

#include <vector>

class QTcpServer;
class QTcpSocket;

namespace tallyhive::auth {

// The loopback address the sign-in page sends the browser back to. It takes
// one port on 127.0.0.1 and, where the machine has it, the same port on ::1,
// since a browser may try either for "localhost".
//
// Any program on this machine can reach the port, and browsers ask it for
// their icon: only a GET of "/" whose query carries our state together with
// a code or an error is the answer. Everything else gets a short 4xx and the
// wait goes on. Nor can any program crowd the answer out: with every slot
// taken, a newcomer takes the slot of the connection idle longest.
class LoopbackListener : public QObject {
    Q_OBJECT
public:
    explicit LoopbackListener(QString expectedState, QObject* parent = nullptr);
    ~LoopbackListener() override;

    // False when no port could be had on 127.0.0.1.
    bool listen();
    quint16 port() const { return port_; }
    // Stops listening and drops every open connection.
    void close();

signals:
    // Once, for the first request that is our answer; its query as sent.
    void answered(const QUrlQuery& query);

private:
    void accept(QTcpServer& server);
    void read(QTcpSocket* socket);
    void reply(QTcpSocket* socket, const QByteArray& status, const QByteArray& page);
    void drop(QTcpSocket* socket);
    void makeRoom();

    QString expectedState_;
    std::vector<QTcpServer*> servers_;
    struct Connection {
        QTcpSocket* socket;
        quint64 lastActive;  // of activity_, when it last sent something
    };
    std::vector<Connection> connections_;
    quint64 activity_ = 0;
    quint16 port_ = 0;
    bool answered_ = false;
};

}  // namespace tallyhive::auth

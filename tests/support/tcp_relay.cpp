#include "support/tcp_relay.h"

#include "support/server_thread.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <deque>
#include <functional>
#include <list>
#include <map>

namespace tallyhive::testing {

struct TcpRelay::State {
    QString targetHost;
    int targetPort = 0;
    Options options;
    QThread thread;
    int port = 0;
    mutable QMutex guard;
    int connections = 0;
    int cuts = 0;
    std::map<int, qint64> toClient;

    Options current() const
    {
        QMutexLocker lock(&guard);
        return options;
    }
};

namespace {

// One direction of a relayed connection: chunks wait for their time, then
// go on; an end marker closes the far side once everything before it went.
class Direction {
public:
    Direction(QTcpSocket* from, QTcpSocket* to, int delayMs, qint64 allowance, std::function<void(qint64)> passed)
        : from_(from), to_(to), delayMs_(delayMs), allowance_(allowance), onPassed_(std::move(passed))
    {
        clock_.start();
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, [this] { pass(); });
    }

    std::function<void()> onCut;
    std::function<void()> onEnd;

    void take()
    {
        const QByteArray bytes = from_->readAll();
        if (!bytes.isEmpty())
            queue(bytes, false);
    }
    void finish()
    {
        take();
        queue({}, true);
    }

private:
    struct Chunk {
        qint64 dueMs;
        QByteArray bytes;
        bool end;
    };

    void queue(QByteArray bytes, bool end)
    {
        if (ended_)
            return;
        chunks_.push_back({clock_.elapsed() + delayMs_, std::move(bytes), end});
        if (!timer_.isActive())
            pass();
    }

    void pass()
    {
        while (!chunks_.empty() && !ended_) {
            const qint64 wait = chunks_.front().dueMs - clock_.elapsed();
            if (wait > 0) {
                timer_.start(static_cast<int>(wait));
                return;
            }
            Chunk chunk = std::move(chunks_.front());
            chunks_.pop_front();
            if (chunk.end) {
                ended_ = true;
                to_->disconnectFromHost();
                if (onEnd)
                    onEnd();
                return;
            }
            if (allowance_ >= 0 && passed_ + chunk.bytes.size() >= allowance_) {
                to_->write(chunk.bytes.left(allowance_ - passed_));
                to_->flush();
                onPassed_(allowance_ - passed_);
                ended_ = true;
                if (onCut)
                    onCut();
                return;
            }
            passed_ += chunk.bytes.size();
            to_->write(chunk.bytes);
            onPassed_(chunk.bytes.size());
        }
    }

    QTcpSocket* from_;
    QTcpSocket* to_;
    int delayMs_;
    qint64 allowance_;
    std::function<void(qint64)> onPassed_;
    qint64 passed_ = 0;
    bool ended_ = false;
    QElapsedTimer clock_;
    QTimer timer_;
    std::deque<Chunk> chunks_;
};

// A client connection and its connection to the target.
class Link {
public:
    Link(TcpRelay::State& state, QTcpSocket* client, int number, bool cut, std::function<void(Link*)> gone)
        : state_(state), client_(client), gone_(std::move(gone))
    {
        const TcpRelay::Options options = state.current();
        upstream_ = new QTcpSocket;
        toServer_ = std::make_unique<Direction>(client_, upstream_, options.delayMs, -1, [](qint64) {});
        toClient_ = std::make_unique<Direction>(upstream_, client_, options.delayMs, cut ? options.cutAfterBytes : -1,
                                                [&state, number](qint64 bytes) {
                                                    QMutexLocker lock(&state.guard);
                                                    state.toClient[number] += bytes;
                                                });
        toClient_->onCut = [this] {
            {
                QMutexLocker lock(&state_.guard);
                ++state_.cuts;
            }
            client_->abort();
            upstream_->abort();
            end();
        };
        toServer_->onEnd = [this] { ended(); };
        toClient_->onEnd = [this] { ended(); };
        QObject::connect(client_, &QTcpSocket::readyRead, client_, [this] { toServer_->take(); });
        QObject::connect(upstream_, &QTcpSocket::readyRead, upstream_, [this] { toClient_->take(); });
        QObject::connect(client_, &QTcpSocket::disconnected, client_, [this] { toServer_->finish(); });
        QObject::connect(upstream_, &QTcpSocket::disconnected, upstream_, [this] { toClient_->finish(); });
        QObject::connect(upstream_, &QTcpSocket::errorOccurred, upstream_, [this](QAbstractSocket::SocketError) {
            if (upstream_->state() != QAbstractSocket::ConnectedState)
                toClient_->finish();
        });
        // Small chunks go on at once: the relay adds the delay it was asked for and no other.
        client_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        QObject::connect(upstream_, &QTcpSocket::connected, upstream_, [this] { upstream_->setSocketOption(QAbstractSocket::LowDelayOption, 1); });
        upstream_->connectToHost(state.targetHost, static_cast<quint16>(state.targetPort));
        toServer_->take();
    }
    ~Link()
    {
        client_->disconnect();
        upstream_->disconnect();
        client_->abort();
        upstream_->abort();
        delete client_;
        delete upstream_;
    }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

private:
    void ended()
    {
        if (++endedDirections_ == 2)
            end();
    }
    void end()
    {
        if (!finished_) {
            finished_ = true;
            QTimer::singleShot(0, [gone = gone_, self = this] { gone(self); });
        }
    }

    TcpRelay::State& state_;
    QTcpSocket* client_;
    QTcpSocket* upstream_ = nullptr;
    std::unique_ptr<Direction> toServer_;
    std::unique_ptr<Direction> toClient_;
    std::function<void(Link*)> gone_;
    int endedDirections_ = 0;
    bool finished_ = false;
};

class RelayServer : public QTcpServer {
public:
    explicit RelayServer(TcpRelay::State& state) : state_(state) {}
    ~RelayServer() override { links_.clear(); }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QTcpSocket;
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        const TcpRelay::Options options = state_.current();
        int number = 0;
        {
            QMutexLocker lock(&state_.guard);
            number = ++state_.connections;
        }
        if (options.acceptConnections > 0 && number > options.acceptConnections) {
            socket->abort();
            delete socket;
            return;
        }
        const bool cut = options.cutAfterBytes >= 0 && (options.cutConnection == 0 || number == options.cutConnection);
        links_.push_back(std::make_unique<Link>(state_, socket, number, cut, [this](Link* gone) {
            links_.remove_if([gone](const std::unique_ptr<Link>& link) { return link.get() == gone; });
        }));
    }

private:
    TcpRelay::State& state_;
    std::list<std::unique_ptr<Link>> links_;
};

}  // namespace

TcpRelay::TcpRelay(const QString& targetHost, int targetPort, Options options) : state_(std::make_unique<State>())
{
    state_->targetHost = targetHost;
    state_->targetPort = targetPort;
    state_->options = options;
    state_->port = listenOnOwnThread(state_->thread, [this] { return new RelayServer(*state_); }, QStringLiteral("the relay"));
}

TcpRelay::~TcpRelay()
{
    state_->thread.quit();
    state_->thread.wait();
}

int TcpRelay::port() const { return state_->port; }

int TcpRelay::connections() const
{
    QMutexLocker lock(&state_->guard);
    return state_->connections;
}

int TcpRelay::cuts() const
{
    QMutexLocker lock(&state_->guard);
    return state_->cuts;
}

qint64 TcpRelay::bytesToClient(int number) const
{
    QMutexLocker lock(&state_->guard);
    const auto found = state_->toClient.find(number);
    return found == state_->toClient.end() ? 0 : found->second;
}

}  // namespace tallyhive::testing

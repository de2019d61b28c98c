// The sign-in's answer port under a crowd: another local program holds 64
// connections to it, sends nothing and opens a new one for each that is
// dropped, while a browser brings the answer. Prints, per try, how long the
// browser waited from its connect to the page, and how often the crowd had
// to reconnect. Loopback only.
#include "auth/loopback_listener.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace {

constexpr int kCrowd = 64;
constexpr int kTries = 20;

int connectTo(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

void crowd(quint16 port, const std::atomic<bool>& done, std::atomic<long>& reopened)
{
    std::vector<pollfd> held;
    while (!done) {
        while (static_cast<int>(held.size()) < kCrowd) {
            const int fd = connectTo(port);
            if (fd < 0)
                goto over;  // the port has closed
            held.push_back({fd, POLLIN, 0});
        }
        ::poll(held.data(), held.size(), 20);
        for (auto it = held.begin(); it != held.end();) {
            if (it->revents == 0) {
                ++it;
                continue;
            }
            ::close(it->fd);
            it = held.erase(it);
            ++reopened;
        }
    }
over:
    for (const pollfd& connection : held)
        ::close(connection.fd);
}

// Milliseconds from connect to the start of a 200 answer; negative when none came.
double browse(quint16 port, const QByteArray& state)
{
    QElapsedTimer clock;
    clock.start();
    const int fd = connectTo(port);
    if (fd < 0)
        return -1;
    const QByteArray request = "GET /?code=c&state=" + state + " HTTP/1.1\r\nHost: localhost\r\n\r\n";
    ::send(fd, request.constData(), static_cast<size_t>(request.size()), MSG_NOSIGNAL);
    pollfd wait{fd, POLLIN, 0};
    char status[16] = {};
    const bool answered = ::poll(&wait, 1, 5000) == 1 && ::recv(fd, status, 12, 0) == 12;
    ::close(fd);
    return answered && std::memcmp(status + 9, "200", 3) == 0 ? clock.nsecsElapsed() / 1e6 : -1;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    std::vector<double> waits;
    int unanswered = 0;
    long reopenedInAll = 0;
    for (int attempt = 0; attempt < kTries; ++attempt) {
        const QByteArray state = "bench-state-" + QByteArray::number(attempt);
        tallyhive::auth::LoopbackListener listener(QString::fromLatin1(state));
        if (!listener.listen())
            return 1;
        std::atomic<bool> done{false};
        std::atomic<long> reopened{0};
        std::thread others(crowd, listener.port(), std::cref(done), std::ref(reopened));
        // The crowd takes every slot and keeps coming back before the browser
        // does; a first burst the system could not queue is retried after a second.
        QEventLoop settle;
        QTimer::singleShot(1500, &settle, &QEventLoop::quit);
        settle.exec();
        std::atomic<bool> browsed{false};
        double waited = -1;
        std::thread browser([&] {
            waited = browse(listener.port(), state);
            browsed = true;
        });
        QEventLoop serve;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &serve, [&] {
            if (browsed)
                serve.quit();
        });
        poll.start(1);
        serve.exec();
        browser.join();
        done = true;
        listener.close();
        others.join();
        reopenedInAll += reopened;
        if (waited < 0)
            ++unanswered;
        else
            waits.push_back(waited);
        std::printf("try %2d: %s%.2f ms, crowd reopened %ld connections\n", attempt + 1, waited < 0 ? "no answer, " : "",
                    waited, reopened.load());
    }
    std::sort(waits.begin(), waits.end());
    if (!waits.empty())
        std::printf("answered %zu of %d: median %.2f ms, slowest %.2f ms; crowd reopened %ld connections in all\n", waits.size(),
                    kTries, waits[waits.size() / 2], waits.back(), reopenedInAll);
    return unanswered == 0 ? 0 : 1;
}

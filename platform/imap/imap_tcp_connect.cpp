#include "platform/imap/imap_tcp_connect.h"

#include <QElapsedTimer>
#include <QHostAddress>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace tallyhive::platform {
namespace {

QString systemError(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

struct Attempt {
    int descriptor = -1;
    QString errorText;
    bool gaveUp = false;
};

Attempt connectAddress(const QHostAddress& address, int port, const QElapsedTimer& clock, int timeoutMs, int sliceMs,
                       const std::function<bool()>& keepWaiting)
{
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        auto* in = reinterpret_cast<sockaddr_in*>(&storage);
        in->sin_family = AF_INET;
        in->sin_port = htons(static_cast<quint16>(port));
        in->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof(sockaddr_in);
    } else {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(static_cast<quint16>(port));
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, bytes.c, sizeof(bytes.c));
        length = sizeof(sockaddr_in6);
    }

    const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return {-1, systemError(errno)};
    if (::connect(fd, reinterpret_cast<sockaddr*>(&storage), length) == 0)
        return {fd, {}};
    if (errno != EINPROGRESS) {
        const int code = errno;
        ::close(fd);
        return {-1, systemError(code)};
    }
    while (true) {
        if (!keepWaiting()) {
            ::close(fd);
            return {-1, QStringLiteral("connection attempt abandoned"), true};
        }
        if (clock.elapsed() >= timeoutMs) {
            ::close(fd);
            return {-1, QStringLiteral("connection timed out after %1 ms").arg(timeoutMs), true};
        }
        pollfd watch{fd, POLLOUT, 0};
        const int ready = ::poll(&watch, 1, sliceMs);
        if (ready < 0 && errno != EINTR) {
            const int code = errno;
            ::close(fd);
            return {-1, systemError(code)};
        }
        if (ready > 0) {
            int code = 0;
            socklen_t size = sizeof(code);
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &code, &size);
            if (code == 0)
                return {fd, {}};
            ::close(fd);
            return {-1, systemError(code)};
        }
    }
}

struct Resolution {
    QList<QHostAddress> addresses;
    QString errorText;
};

// The lookup runs on a detached thread: an abandoned one finishes there on its
// own, and the promise's future never waits for it.
Resolution resolve(const QString& host, const QElapsedTimer& clock, int timeoutMs, int sliceMs,
                   const std::function<bool()>& keepWaiting, const HostLookup& lookup)
{
    std::promise<HostLookupResult> promise;
    std::future<HostLookupResult> answer = promise.get_future();
    std::thread([lookup, host, promise = std::move(promise)]() mutable { promise.set_value(lookup(host)); }).detach();
    while (answer.wait_for(std::chrono::milliseconds(sliceMs)) != std::future_status::ready) {
        if (!keepWaiting())
            return {{}, QStringLiteral("cannot resolve host %1: lookup abandoned").arg(host)};
        if (clock.elapsed() >= timeoutMs)
            return {{}, QStringLiteral("cannot resolve host %1: no answer within %2 ms").arg(host).arg(timeoutMs)};
    }
    const HostLookupResult found = answer.get();
    Resolution resolution;
    for (const QString& text : found.addresses) {
        QHostAddress address;
        if (address.setAddress(text))
            resolution.addresses << address;
    }
    if (resolution.addresses.isEmpty())
        resolution.errorText = QStringLiteral("cannot resolve host %1: %2")
                                   .arg(host, found.errorText.isEmpty() ? QStringLiteral("no address") : found.errorText);
    return resolution;
}

}  // namespace

HostLookupResult lookUpHost(const QString& host)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const int code = ::getaddrinfo(host.toUtf8().constData(), nullptr, &hints, &list);
    if (code != 0)
        return {{}, QString::fromLocal8Bit(::gai_strerror(code))};
    HostLookupResult result;
    for (const addrinfo* entry = list; entry; entry = entry->ai_next) {
        const QString text = QHostAddress(entry->ai_addr).toString();
        if (!text.isEmpty() && !result.addresses.contains(text))
            result.addresses << text;
    }
    ::freeaddrinfo(list);
    return result;
}

TcpConnectResult connectTcp(const QString& host, int port, int timeoutMs, int sliceMs,
                            const std::function<bool()>& keepWaiting, const HostLookup& lookup)
{
    if (port <= 0 || port > 65535)
        return {-1, QStringLiteral("invalid port %1").arg(port)};
    QElapsedTimer clock;
    clock.start();
    QList<QHostAddress> addresses;
    QHostAddress literal;
    if (literal.setAddress(host)) {
        addresses << literal;
    } else {
        Resolution resolution = resolve(host, clock, timeoutMs, sliceMs, keepWaiting, lookup);
        if (resolution.addresses.isEmpty())
            return {-1, resolution.errorText};
        addresses = std::move(resolution.addresses);
    }
    QString lastError;
    for (const QHostAddress& address : addresses) {
        const Attempt attempt = connectAddress(address, port, clock, timeoutMs, sliceMs, keepWaiting);
        if (attempt.descriptor >= 0)
            return {attempt.descriptor, {}};
        lastError = QStringLiteral("%1 port %2: %3").arg(address.toString()).arg(port).arg(attempt.errorText);
        if (attempt.gaveUp)
            break;
    }
    return {-1, lastError};
}

}  // namespace tallyhive::platform

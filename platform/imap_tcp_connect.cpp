#include "platform/imap_tcp_connect.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QHostInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
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

}  // namespace

TcpConnectResult connectTcp(const QString& host, int port, int timeoutMs, int sliceMs,
                            const std::function<bool()>& keepWaiting)
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
        const QHostInfo info = QHostInfo::fromName(host);
        if (info.error() != QHostInfo::NoError || info.addresses().isEmpty())
            return {-1, QStringLiteral("cannot resolve host %1: %2").arg(host, info.errorString())};
        addresses = info.addresses();
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

#include "platform/imap/imap_tcp_connect.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

using namespace tallyhive::platform;

namespace {

// A socket listening on 127.0.0.1; connections wait in its backlog.
class Listener {
public:
    Listener()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) == 0 && ::listen(fd_, 4) == 0
            && ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port_ = ntohs(address.sin_port);
    }
    ~Listener() { ::close(fd_); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

// A lookup that answers only when the test opens its gate.
struct GatedLookup {
    std::shared_ptr<std::promise<void>> gate = std::make_shared<std::promise<void>>();
    std::shared_ptr<std::atomic<bool>> finished = std::make_shared<std::atomic<bool>>(false);

    HostLookup lookup() const
    {
        return [opened = gate->get_future().share(), finished = finished](const QString&) {
            opened.wait();
            *finished = true;
            return HostLookupResult{{QStringLiteral("127.0.0.1")}, {}};
        };
    }
    void openAndAwaitEnd() const
    {
        gate->set_value();
        while (!*finished)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
};

TEST(TcpConnectTest, AHostNameIsResolvedOnAnotherThreadAndItsAddressConnected)
{
    Listener listener;
    ASSERT_NE(listener.port(), 0);
    std::thread::id lookupThread;
    const HostLookup lookup = [&lookupThread](const QString& host) {
        lookupThread = std::this_thread::get_id();
        return host == QLatin1String("mail.test") ? HostLookupResult{{QStringLiteral("127.0.0.1")}, {}}
                                                  : HostLookupResult{};
    };
    const TcpConnectResult result = connectTcp(QStringLiteral("mail.test"), listener.port(), 5000, 10, [] { return true; }, lookup);
    ASSERT_GE(result.descriptor, 0) << result.errorText.toStdString();
    ::close(result.descriptor);
    EXPECT_NE(lookupThread, std::this_thread::get_id());

    const HostLookupResult local = lookUpHost(QStringLiteral("localhost"));
    EXPECT_TRUE(local.addresses.contains(QStringLiteral("127.0.0.1")) || local.addresses.contains(QStringLiteral("::1")))
        << local.errorText.toStdString();
}

TEST(TcpConnectTest, AnAbortOrTheTimeoutEndsTheWaitForASlowLookup)
{
    const GatedLookup abandoned;
    int polls = 0;
    const TcpConnectResult aborted = connectTcp(QStringLiteral("mail.test"), 993, 60000, 10, [&polls] { return ++polls < 3; },
                                                abandoned.lookup());
    EXPECT_EQ(aborted.descriptor, -1);
    EXPECT_EQ(aborted.errorText, QStringLiteral("cannot resolve host mail.test: lookup abandoned"));
    EXPECT_FALSE(*abandoned.finished) << "the call waited for the lookup it abandoned";
    abandoned.openAndAwaitEnd();

    const GatedLookup slow;
    const TcpConnectResult timedOut = connectTcp(QStringLiteral("mail.test"), 993, 50, 10, [] { return true; }, slow.lookup());
    EXPECT_EQ(timedOut.descriptor, -1);
    EXPECT_EQ(timedOut.errorText, QStringLiteral("cannot resolve host mail.test: no answer within 50 ms"));
    EXPECT_FALSE(*slow.finished);
    slow.openAndAwaitEnd();
}

TEST(TcpConnectTest, AFailedOrEmptyLookupNamesTheHost)
{
    const auto keepWaiting = [] { return true; };
    const TcpConnectResult failed = connectTcp(QStringLiteral("nowhere.test"), 993, 5000, 10, keepWaiting, [](const QString&) {
        return HostLookupResult{{}, QStringLiteral("Name or service not known")};
    });
    EXPECT_EQ(failed.descriptor, -1);
    EXPECT_EQ(failed.errorText, QStringLiteral("cannot resolve host nowhere.test: Name or service not known"));

    const TcpConnectResult empty = connectTcp(QStringLiteral("nowhere.test"), 993, 5000, 10, keepWaiting, [](const QString&) {
        return HostLookupResult{{QStringLiteral("not an address")}, {}};
    });
    EXPECT_EQ(empty.errorText, QStringLiteral("cannot resolve host nowhere.test: no address"));
}

}  // namespace

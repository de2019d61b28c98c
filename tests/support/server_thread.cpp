#include "support/server_thread.h"

#include "interfaces/error.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <QTcpServer>

namespace tallyhive::testing {

int listenOnOwnThread(QThread& thread, const std::function<QTcpServer*()>& make, const QString& what)
{
    // The thread's event loop needs an application object; a test without one gets one.
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "tallyhive-test";
        static char* argv[] = {name, nullptr};
        static QCoreApplication application(argc, argv);
    }
    int port = 0;
    QSemaphore listening;
    QObject::connect(&thread, &QThread::started, [&] {
        QTcpServer* server = make();
        if (server->listen(QHostAddress::LocalHost, 0))
            port = server->serverPort();
        QObject::connect(&thread, &QThread::finished, server, [server] { delete server; }, Qt::DirectConnection);
        listening.release();
    });
    thread.start();
    listening.acquire();
    if (port == 0)
        throw AppError(QStringLiteral("%1 could not listen on 127.0.0.1").arg(what));
    return port;
}

}  // namespace tallyhive::testing

#pragma once

#include <QString>
#include <QThread>

#include <functional>

class QTcpServer;

namespace tallyhive::testing {

// Starts thread (and an application object when there is none yet) and has
// make() build a server on it, so the server answers while the test's own
// thread blocks in the client. The server listens on 127.0.0.1 at a free port
// until the thread ends, then is deleted there.
// Returns the port; throws AppError naming `what` when it could not listen.
int listenOnOwnThread(QThread& thread, const std::function<QTcpServer*()>& make, const QString& what);

}  // namespace tallyhive::testing

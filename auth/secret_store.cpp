#include "auth/secret_store.h"

#include <qt6keychain/keychain.h>

#include <QEventLoop>
#include <QTimer>

namespace tallyhive::auth {
namespace {

// Runs one job to its end; false when it timed out.
bool finish(QKeychain::Job& job, int timeoutMs)
{
    QEventLoop loop;
    bool finished = false;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    job.setAutoDelete(false);
    job.start();
    if (!finished)
        loop.exec();
    return finished;
}

}  // namespace

SecretStore::SecretStore(QString service, int timeoutMs) : service_(std::move(service)), timeoutMs_(timeoutMs) {}

std::optional<QString> SecretStore::read(const QString& key)
{
    // Heap-made and left to delete itself later: a job that timed out may
    // still answer.
    auto* job = new QKeychain::ReadPasswordJob(service_);
    job->setKey(key);
    const bool finished = finish(*job, timeoutMs_);
    std::optional<QString> value;
    if (!finished)
        error_ = QStringLiteral("the secret store did not answer");
    else if (job->error() == QKeychain::NoError)
        value = job->textData();
    else if (job->error() == QKeychain::EntryNotFound)
        value = QString();
    else
        error_ = job->errorString();
    job->deleteLater();
    return value;
}

bool SecretStore::write(const QString& key, const QString& value)
{
    auto* job = new QKeychain::WritePasswordJob(service_);
    job->setKey(key);
    job->setTextData(value);
    const bool ok = finish(*job, timeoutMs_) && job->error() == QKeychain::NoError;
    if (!ok)
        error_ = job->error() == QKeychain::NoError ? QStringLiteral("the secret store did not answer") : job->errorString();
    job->deleteLater();
    return ok;
}

bool SecretStore::remove(const QString& key)
{
    auto* job = new QKeychain::DeletePasswordJob(service_);
    job->setKey(key);
    const bool finished = finish(*job, timeoutMs_);
    const bool ok = finished && (job->error() == QKeychain::NoError || job->error() == QKeychain::EntryNotFound);
    if (!ok)
        error_ = finished ? job->errorString() : QStringLiteral("the secret store did not answer");
    job->deleteLater();
    return ok;
}

}  // namespace tallyhive::auth

// Fetch speed against a local Dovecot: the session's extraction loop compared
// with the bare IMAP client fetching the same messages (the floor). Each mode
// runs in a child process of its own so its peak RSS is its own.
//
//   fetch_bench [--messages N]      (default 10000)

#include "app/config.h"
#include "mail/imap_session.h"
#include "platform/imap_client.h"
#include "platform/message_boxes.h"
#include "platform/tls_transport.h"
#include "support/dovecot_server.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>
#include <exception>
#include <map>

namespace {

using tallyhive::clsChilkatIMAP;
using tallyhive::testing::DovecotServer;

const char* const kUserVariable = "TALLYHIVE_BENCH_USER";
const char* const kPasswordVariable = "TALLYHIVE_BENCH_PASSWORD";

struct Figures {
    qint64 messages = 0;
    qint64 bytes = 0;  // what the mode got: raw bytes for the floor, decoded characters for extraction
    double seconds = 0;
    double cpuSeconds = 0;  // user and system time of the mode's process
    qint64 peakRssKb = 0;
};

void measureProcess(Figures& figures)
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    figures.peakRssKb = usage.ru_maxrss;
    figures.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
                         + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void printFigures(const Figures& f)
{
    std::printf("messages=%lld bytes=%lld seconds=%.6f cpu=%.6f rss=%lld\n", static_cast<long long>(f.messages),
                static_cast<long long>(f.bytes), f.seconds, f.cpuSeconds, static_cast<long long>(f.peakRssKb));
}

// Boxes would block a benchmark; their texts go to stderr instead.
class PrintingMessageBoxes : public tallyhive::platform::MessageBoxes {
public:
    void show(const QString& text, const QString& title, tallyhive::platform::BoxIcon) override
    {
        std::fprintf(stderr, "[box] %s: %s\n", qPrintable(title), qPrintable(text));
    }
    std::optional<QString> input(const QString&, const QString&, const QString&) override { return std::nullopt; }
};

Figures runExtraction(int count)
{
    PrintingMessageBoxes boxes;
    auto session = std::make_shared<clsChilkatIMAP>(boxes);
    session->ChilkatIMAPObject = tallyhive::platform::createImapComponent();
    session->SSL = true;
    session->PORT = tallyhive::config::imapPort();
    session->IMAPServer = tallyhive::config::imapHost();
    session->Username = qEnvironmentVariable(kUserVariable);
    session->Password = qEnvironmentVariable(kPasswordVariable);
    session->CurrentLocation = 1;
    session->MaxRecord = count;

    Figures figures;
    session->MailExtractListing = [&figures](const tallyhive::MailListing& listing) {
        ++figures.messages;
        figures.bytes += listing.From.size() + listing.Subject.size() + listing.ReceivedDate.size()
                         + listing.PlainTextBody.size() + listing.HTMLTextBody.size();
    };
    QElapsedTimer timer;
    timer.start();
    session->StartMailExtraction(QStringLiteral("Inbox"));
    figures.seconds = timer.nsecsElapsed() / 1e9;
    measureProcess(figures);
    return figures;
}

Figures runFloor(int count)
{
    using tallyhive::platform::ImapClient;
    ImapClient client(std::make_unique<tallyhive::platform::TlsTransport>());
    Figures figures;
    QElapsedTimer timer;
    timer.start();
    client.setSsl(true);
    client.setPort(tallyhive::config::imapPort());
    if (client.connect(tallyhive::config::imapHost()) != 1
        || client.login(qEnvironmentVariable(kUserVariable), qEnvironmentVariable(kPasswordVariable)) != 1
        || client.selectMailbox(QStringLiteral("Inbox")) != 1) {
        std::fprintf(stderr, "floor: %s\n", qPrintable(client.lastErrorText()));
        return figures;
    }
    for (int n = 1; n <= count; ++n) {
        const auto message = client.fetchRaw(n);
        if (!message)
            continue;
        ++figures.messages;
        figures.bytes += message->bytes.size();
    }
    figures.seconds = timer.nsecsElapsed() / 1e9;
    measureProcess(figures);
    client.disconnect();
    return figures;
}

int runChild(const QString& mode, int count)
{
    const Figures figures = mode == u"floor" ? runFloor(count) : runExtraction(count);
    printFigures(figures);
    return figures.messages == count ? 0 : 1;
}

std::map<QString, QString> readInfo(const QString& path)
{
    std::map<QString, QString> values;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts))
            values[line.section(u'=', 0, 0)] = line.section(u'=', 1);
    }
    return values;
}

// Generating 10,000 messages takes a while; the mailbox is kept beside the
// binary and made again only when the generator changed.
QString benchMailbox(int count, qint64& totalBytes)
{
    const QString folder = QDir(QCoreApplication::applicationDirPath())
                               .filePath(QStringLiteral("fetch-bench-mail/%1").arg(count));
    const QString info = QDir(folder).filePath(QStringLiteral("mailbox.info"));
    const QString generator = QDir(DovecotServer::sourceDir()).filePath(QStringLiteral("scripts/make-mailbox"));
    auto values = readInfo(info);
    if (values[QStringLiteral("messages")] != QString::number(count)
        || QFileInfo(generator).lastModified() > QFileInfo(info).lastModified()) {
        std::printf("Making %d messages in %s ...\n", count, qPrintable(folder));
        std::fflush(stdout);
        DovecotServer::makeMailbox(folder, {QStringLiteral("--messages"), QString::number(count)});
        values = readInfo(info);
    }
    totalBytes = values[QStringLiteral("bytes")].toLongLong();
    return folder;
}

Figures runMode(const QString& mode, int count, const QProcessEnvironment& environment)
{
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--child"), mode, QStringLiteral("--messages"), QString::number(count)});
    child.waitForFinished(-1);
    Figures figures;
    const QString line = QString::fromUtf8(child.readAllStandardOutput()).trimmed();
    for (const QString& pair : line.split(u' ')) {
        const QString key = pair.section(u'=', 0, 0);
        const QString value = pair.section(u'=', 1);
        if (key == u"messages")
            figures.messages = value.toLongLong();
        else if (key == u"bytes")
            figures.bytes = value.toLongLong();
        else if (key == u"seconds")
            figures.seconds = value.toDouble();
        else if (key == u"cpu")
            figures.cpuSeconds = value.toDouble();
        else if (key == u"rss")
            figures.peakRssKb = value.toLongLong();
    }
    if (child.exitCode() != 0)
        std::printf("warning: %s delivered %lld of %d messages\n", qPrintable(mode),
                    static_cast<long long>(figures.messages), count);
    return figures;
}

void printRow(const char* mode, const Figures& f, qint64 mailBytes)
{
    const double seconds = f.seconds > 0 ? f.seconds : 1e-9;
    std::printf("%-11s %9lld %9.2f %9.2f %11.1f %8.2f %12.1f\n", mode, static_cast<long long>(f.messages), f.seconds,
                f.cpuSeconds, f.messages / seconds, mailBytes / 1e6 / seconds, f.peakRssKb / 1024.0);
}

int runBenchmark(int count)
{
    if (!qEnvironmentVariableIsSet("TALLYHIVE_SOURCE_DIR"))
        qputenv("TALLYHIVE_SOURCE_DIR", TALLYHIVE_SOURCE_DIR);
    qint64 mailBytes = 0;
    const QString mailbox = benchMailbox(count, mailBytes);
    DovecotServer server(mailbox);
    server.applyEnvironment();

    // The session appends to the error log after every fetch; it goes here.
    QTemporaryDir temp;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TEMP"), temp.path());
    environment.insert(QString::fromLatin1(kUserVariable), server.user());
    environment.insert(QString::fromLatin1(kPasswordVariable), server.password());
    environment.insert(QStringLiteral("TALLYHIVE_PING_HOST"), QString());
    environment.insert(QStringLiteral("TALLYHIVE_HOME_PAGE"), QString());

    std::printf("mail: %d messages, %.1f MB, on Dovecot at 127.0.0.1:%d\n", count, mailBytes / 1e6, server.port());
    std::fflush(stdout);
    // Dovecot indexes the folder at the first select; that cost belongs to neither mode.
    runMode(QStringLiteral("floor"), 1, environment);
    const Figures floor = runMode(QStringLiteral("floor"), count, environment);
    const Figures extraction = runMode(QStringLiteral("extraction"), count, environment);

    std::printf("%-11s %9s %9s %9s %11s %8s %12s\n", "mode", "messages", "seconds", "cpu s", "messages/s", "MB/s",
                "peak RSS MB");
    printRow("floor", floor, mailBytes);
    printRow("extraction", extraction, mailBytes);
    const double floorRate = floor.seconds > 0 ? floor.messages / floor.seconds : 0;
    const double extractionRate = extraction.seconds > 0 ? extraction.messages / extraction.seconds : 0;
    std::printf("ratio extraction/floor: %.2f (goal >= 0.60)\n", floorRate > 0 ? extractionRate / floorRate : 0.0);
    std::printf("peak RSS / mail size: extraction %.2f, floor %.2f (goal < 2)\n",
                extraction.peakRssKb * 1024.0 / mailBytes, floor.peakRssKb * 1024.0 / mailBytes);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    int count = 10000;
    QString childMode;
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == u"--messages" && i + 1 < arguments.size())
            count = arguments[++i].toInt();
        else if (arguments[i] == u"--child" && i + 1 < arguments.size())
            childMode = arguments[++i];
        else {
            std::fprintf(stderr, "usage: fetch_bench [--messages N]\n");
            return 2;
        }
    }
    if (count < 1) {
        std::fprintf(stderr, "--messages needs a positive number\n");
        return 2;
    }
    try {
        return childMode.isEmpty() ? runBenchmark(count) : runChild(childMode, count);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "fetch_bench: %s\n", error.what());
        return 1;
    }
}

// Fetch speed: the session's extraction loop and the main window filling its
// list, against the bare IMAP client fetching the same messages (the floors:
// one request at a time, and a 16-deep window of requests). Optionally
// through a relay that delays every chunk by half a round trip, or against a
// server that is already running. With --hostile, the window against
// misbehaving scripted servers instead: memory and the time from Stop to the
// end of the run. Each mode runs in a child process of its own so its peak
// memory is its own; --pairs K runs extraction and window K times in turn
// and reports the median pair.
//
//   fetch_bench [--messages N] [--rtt MS] [--pairs K]
//   fetch_bench --server HOST:PORT --user U --password P [--ca FILE] [--folder NAME] [--messages N] [--rtt MS]
//   fetch_bench --hostile
//   fetch_bench --memory [--messages N]   peak memory over Get All and Send To Excel
//   fetch_bench --store [--messages N]    Get All again with the store: unchanged, then with 1 % new messages
//   fetch_bench --columns [--messages N] [--pairs K]   Get All with every extra column chosen against none

#include "fetch_bench_modes.h"

#include "program/config.h"
#include "program/component_options.h"

#include "support/dovecot_server.h"
#include "support/scripted_imap_server.h"
#include "support/tcp_relay.h"

#include "platform/imap/imap_client.h"
#include "platform/imap/tls_transport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace {

using namespace tallyhive::bench;
using tallyhive::testing::DovecotServer;
using tallyhive::testing::ScriptedImapServer;
using tallyhive::testing::TcpRelay;

struct Options {
    int messages = 0;  // 0: the default (10,000 on our own server, the folder's count on another)
    int rttMs = 0;
    QString server;    // HOST:PORT of a running server; empty starts our own
    QString user;
    QString password;
    QString caFile;
    QString folder = QStringLiteral("Inbox");
    bool hostile = false;
    bool memory = false;  // only the window's peak memory over Get All and Send To Excel
    bool store = false;   // only Get All with the store, read again
    bool columns = false;  // only Get All with every extra column chosen, against none
    int pairs = 1;  // extraction and window runs, alternating
};

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

Figures runMode(const QString& mode, int count, const QProcessEnvironment& environment, const QStringList& extra = {})
{
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                QStringList{QStringLiteral("--child"), mode, QStringLiteral("--messages"), QString::number(count)} + extra);
    child.waitForFinished(-1);
    const Figures figures = parseFigures(QString::fromUtf8(child.readAllStandardOutput()).trimmed());
    if (child.exitCode() != 0 && mode != u"stop")
        std::printf("warning: %s delivered %lld of %d messages\n", qPrintable(mode), static_cast<long long>(figures.messages), count);
    return figures;
}

void printRow(const char* mode, const Figures& f, qint64 mailBytes)
{
    const double seconds = f.seconds > 0 ? f.seconds : 1e-9;
    std::printf("%-11s %9lld %9.2f %9.2f %10.2f %11.1f %8.2f %12.1f\n", mode, static_cast<long long>(f.messages), f.seconds,
                f.cpuSeconds, f.mainCpuSeconds, f.messages / seconds, mailBytes / 1e6 / seconds, f.peakRssKb / 1024.0);
}

double rate(const Figures& f) { return f.seconds > 0 ? f.messages / f.seconds : 0; }

double ratio(double a, double b) { return b > 0 ? a / b : 0; }

// The number of messages in a folder of a running server.
int folderCount(const QString& folder, const QString& user, const QString& password)
{
    const tallyhive::platform::ImapOptions options = tallyhive::imapOptionsFromConfig();
    tallyhive::platform::ImapClient client(std::make_unique<tallyhive::platform::TlsTransport>(options.caFile), options);
    tallyhive::platform::MailResult step = client.connect(tallyhive::imapServerFromConfig());
    if (step.ok())
        step = client.login(user, password);
    if (step.ok())
        step = client.selectMailbox(folder);
    if (!step.ok()) {
        std::fprintf(stderr, "fetch_bench: %s\n", qPrintable(step.text));
        return 0;
    }
    const int count = client.numMessages();
    client.disconnect();
    return count;
}

// Get All without the store, then three times with one: into an empty
// store, again on the folder unchanged, and again with 1 % new messages
// (copies of the first ones, delivered to the Inbox meanwhile).
int runStore(const DovecotServer& server, int count, QProcessEnvironment environment)
{
    const Figures plain = runMode(QStringLiteral("window"), count, environment);
    QTemporaryDir cache;
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), cache.path());
    const Figures first = runMode(QStringLiteral("stored"), count, environment);
    const Figures second = runMode(QStringLiteral("stored"), count, environment);
    const QDir inbox(QDir(server.maildir()).filePath(QStringLiteral("cur")));
    const QStringList files = inbox.entryList(QDir::Files, QDir::Name);
    const int added = std::max(1, count / 100);
    for (int i = 0; i < added && i < files.size(); ++i)
        QFile::copy(inbox.filePath(files[i]), QDir(server.maildir()).filePath(QStringLiteral("new/%1.bench%2.localhost").arg(2000000000 + i).arg(i)));
    const Figures third = runMode(QStringLiteral("stored"), count + added, environment);
    std::printf("%-24s %9s %9s %12s %16s\n", "Get All", "messages", "seconds", "peak RSS MB", "longest wait ms");
    const auto row = [](const char* what, const Figures& f) {
        std::printf("%-24s %9lld %9.2f %12.1f %16.1f\n", what, static_cast<long long>(f.messages), f.seconds, f.peakRssKb / 1024.0,
                    f.longestGapMs);
    };
    row("without the store", plain);
    row("first, into the store", first);
    row("second, unchanged", second);
    row("third, 1 % new", third);
    std::printf("second / first: %.3f (goal <= 0.15, and <= 2 s)\n", ratio(second.seconds, first.seconds));
    std::printf("third / first: %.3f (goal <= 0.20)\n", ratio(third.seconds, first.seconds));
    std::printf("peak RSS with the store / without: first %.2f, second %.2f, third %.2f (goal <= 1.00)\n",
                ratio(first.peakRssKb, plain.peakRssKb), ratio(second.peakRssKb, plain.peakRssKb), ratio(third.peakRssKb, plain.peakRssKb));
    return 0;
}

// Get All with no extra column and with all six, in pairs run back to back;
// the median pair's ratio stands for them.
int runColumns(int count, int pairs, const QProcessEnvironment& environment)
{
    std::vector<double> costs;
    for (int pair = 0; pair < pairs; ++pair) {
        const Figures none = runMode(QStringLiteral("window"), count, environment);
        const Figures all = runMode(QStringLiteral("columns"), count, environment);
        costs.push_back(all.seconds / none.seconds - 1);
        std::printf("pair %d: no extra column %.2f s, all six %.2f s\n", pair + 1, none.seconds, all.seconds);
    }
    std::sort(costs.begin(), costs.end());
    std::printf("every extra column chosen costs %+.1f %% (goal <= 5 %%)\n", 100 * costs[costs.size() / 2]);
    return 0;
}

int runBenchmark(Options options)
{
    QTemporaryDir temp;  // the error log goes here, not to /tmp
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TEMP"), temp.path());
    environment.insert(QStringLiteral("TALLYHIVE_PING_HOST"), QString());
    environment.insert(QStringLiteral("TALLYHIVE_HOME_PAGE"), QString());

    std::unique_ptr<DovecotServer> ownServer;
    qint64 mailBytes = 0;
    QString host;
    int port = 0;
    if (options.server.isEmpty()) {
        if (!qEnvironmentVariableIsSet("TALLYHIVE_SOURCE_DIR"))
            qputenv("TALLYHIVE_SOURCE_DIR", TALLYHIVE_SOURCE_DIR);
        if (options.messages == 0)
            options.messages = 10000;
        ownServer = std::make_unique<DovecotServer>(benchMailbox(options.messages, mailBytes));
        ownServer->applyEnvironment();
        options.user = ownServer->user();
        options.password = ownServer->password();
        host = ownServer->host();
        port = ownServer->port();
    } else {
        host = options.server.section(u':', 0, -2);
        port = options.server.section(u':', -1).toInt();
        qputenv("TALLYHIVE_IMAP_HOST", host.toUtf8());
        qputenv("TALLYHIVE_IMAP_PORT", QByteArray::number(port));
        if (!options.caFile.isEmpty())
            qputenv("TALLYHIVE_CA_FILE", options.caFile.toUtf8());
        const int count = folderCount(options.folder, options.user, options.password);
        if (count < 1)
            return 1;
        if (options.messages == 0 || options.messages > count)
            options.messages = count;
    }
    environment.insert(QString::fromLatin1(kUserVariable), options.user);
    environment.insert(QString::fromLatin1(kPasswordVariable), options.password);
    environment.insert(QString::fromLatin1(kFolderVariable), options.folder);
    for (const char* name : {"TALLYHIVE_IMAP_HOST", "TALLYHIVE_IMAP_PORT", "TALLYHIVE_CA_FILE"})
        environment.insert(QString::fromLatin1(name), qEnvironmentVariable(name));

    std::unique_ptr<TcpRelay> relay;
    if (options.rttMs > 0) {
        relay = std::make_unique<TcpRelay>(host, port, TcpRelay::Options{.delayMs = options.rttMs / 2});
        environment.insert(QStringLiteral("TALLYHIVE_IMAP_HOST"), relay->host());
        environment.insert(QStringLiteral("TALLYHIVE_IMAP_PORT"), QString::number(relay->port()));
    }

    const int count = options.messages;
    std::printf("mail: %d messages%s in %s, on %s:%d, round trip %d ms\n", count,
                mailBytes > 0 ? qPrintable(QStringLiteral(", %1 MB").arg(mailBytes / 1e6, 0, 'f', 1)) : "", qPrintable(options.folder),
                qPrintable(host), port, options.rttMs);
    std::fflush(stdout);
    // The server indexes the folder at the first select; that cost belongs to no mode.
    runMode(QStringLiteral("floor"), 1, environment);
    if (options.memory) {
        QTemporaryDir workbooks;
        environment.insert(QStringLiteral("TALLYHIVE_EXPORT_DIR"), workbooks.path());
        environment.insert(QStringLiteral("TALLYHIVE_OPEN_WORKBOOK"), QStringLiteral("0"));
        const Figures memory = runMode(QStringLiteral("memory"), count, environment);
        std::printf("memory: Get All %.2f s, Send To Excel of %lld rows %.2f s, peak RSS %.1f MB\n", memory.seconds,
                    static_cast<long long>(memory.messages), memory.exportSeconds, memory.peakRssKb * 1024.0 / 1e6);
        std::printf("peak RSS / mail size: %.3f (goal <= 0.30)\n", memory.peakRssKb * 1024.0 / mailBytes);
        return 0;
    }
    if (options.store) {
        if (!ownServer)
            return 1;
        return runStore(*ownServer, count, environment);
    }
    if (options.columns)
        return runColumns(count, options.pairs, environment);
    const Figures floor = runMode(QStringLiteral("floor"), count, environment);
    QProcessEnvironment deep = environment;
    deep.insert(QStringLiteral("TALLYHIVE_FETCH_WINDOW"), QStringLiteral("16"));
    const Figures floor16 = runMode(QStringLiteral("floor16"), count, deep);
    const Figures range = runMode(QStringLiteral("range"), count, environment);
    const bool windowFolder = options.folder.compare(QStringLiteral("Inbox"), Qt::CaseInsensitive) == 0;
    // On a small machine the two runs share the cores with the server and
    // one run's figures move by a tenth; pairs run back to back and the
    // median pair (by its ratio) stands for them.
    std::vector<std::pair<Figures, std::optional<Figures>>> pairs;
    for (int pair = 0; pair < options.pairs; ++pair) {
        Figures extraction = runMode(QStringLiteral("extraction"), count, environment);
        std::optional<Figures> window;
        if (windowFolder && ownServer)
            window = runMode(QStringLiteral("window"), count, environment);
        if (options.pairs > 1 && window)
            std::printf("pair %d: extraction %.2f s, window %.2f s, ratio %.2f, longest wait %.1f ms\n", pair + 1,
                        extraction.seconds, window->seconds, ratio(rate(*window), rate(extraction)), window->longestGapMs);
        pairs.emplace_back(extraction, window);
    }
    std::sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) {
        return (a.second ? ratio(rate(*a.second), rate(a.first)) : 0) < (b.second ? ratio(rate(*b.second), rate(b.first)) : 0);
    });
    const Figures extraction = pairs[pairs.size() / 2].first;
    const std::optional<Figures> window = pairs[pairs.size() / 2].second;
    std::optional<Figures> stopped;
    if (windowFolder && ownServer)
        stopped = runMode(QStringLiteral("stop"), count, environment);
    if (mailBytes == 0)
        mailBytes = floor.bytes;

    std::printf("%-11s %9s %9s %9s %10s %11s %8s %12s\n", "mode", "messages", "seconds", "cpu s", "main cpu s", "messages/s", "MB/s",
                "peak RSS MB");
    printRow("floor", floor, mailBytes);
    printRow("floor16", floor16, mailBytes);
    printRow("range", range, mailBytes);
    printRow("extraction", extraction, mailBytes);
    if (window)
        printRow("window", *window, mailBytes);
    std::printf("ratio extraction/floor16: %.2f (goal >= 0.50 at 30 ms)\n", ratio(rate(extraction), rate(floor16)));
    std::printf("ratio extraction/floor: %.2f\n", ratio(rate(extraction), rate(floor)));
    if (window) {
        std::printf("ratio window/extraction: %.2f (goal >= 0.80)\n", ratio(rate(*window), rate(extraction)));
        std::printf("ratio window/floor: %.2f (goal >= 1.00 at 0 ms)\n", ratio(rate(*window), rate(floor)));
        std::printf("ratio window/floor16: %.2f (goal >= 0.75 at 0 ms, >= 1.00 at 30 ms)\n", ratio(rate(*window), rate(floor16)));
        std::printf("ratio window/range: %.2f (goal >= 0.90 at 30 and 100 ms)\n", ratio(rate(*window), rate(range)));
        std::printf("window: longest wait between processed events %.1f ms (goal < 50)\n", window->longestGapMs);
    }
    if (stopped)
        std::printf("stop: clicked with half the rows listed; the run ended %.1f ms later with %lld rows (longest wait %.1f ms)\n",
                    stopped->stopMs, static_cast<long long>(stopped->messages), stopped->longestGapMs);
    std::printf("peak RSS / mail size: extraction %.2f, floor %.2f (goal < 2)\n", extraction.peakRssKb * 1024.0 / mailBytes,
                floor.peakRssKb * 1024.0 / mailBytes);
    return 0;
}

// One misbehaving server and what the window makes of it.
struct HostileCase {
    const char* name;
    ScriptedImapServer::Script script;
    int stopAfterMs;  // -1: no Stop
    qint64 messageBytes;  // for the memory ratio; 0 when not about one message
};

std::vector<HostileCase> hostileCases()
{
    constexpr qint64 kBig = 200LL * 1024 * 1024;
    std::vector<HostileCase> cases;
    auto bigText = ScriptedImapServer::normalMailbox(1);
    bigText.generatedNumber = 1;
    bigText.generatedBytes = kBig;
    cases.push_back({"200 MB text", bigText, -1, kBig});
    auto bigAttachment = bigText;
    bigAttachment.generatedAttachment = true;
    cases.push_back({"200 MB attachment", bigAttachment, -1, kBig});
    auto endless = ScriptedImapServer::normalMailbox(1);
    endless.fetchAnswer = ScriptedImapServer::FetchAnswer::Endless;
    cases.push_back({"endless untagged", endless, -1, 0});
    cases.push_back({"endless, Stop", endless, 200, 0});
    auto refused = ScriptedImapServer::normalMailbox(20000);
    refused.fetchAnswer = ScriptedImapServer::FetchAnswer::RefuseMessages;
    cases.push_back({"all refused, Stop", refused, 100, 0});
    auto huge = ScriptedImapServer::normalMailbox(3);
    huge.announcedCount = 2147483647;
    huge.fetchAnswer = ScriptedImapServer::FetchAnswer::RefuseAll;
    cases.push_back({"2^31-1 EXISTS", huge, -1, 0});
    auto drip = ScriptedImapServer::normalMailbox(3);
    drip.pieceSize = 1;
    drip.pieceDelayMs = 100;
    cases.push_back({"dripping, Stop", drip, 1000, 0});
    auto longName = ScriptedImapServer::normalMailbox(3);
    longName.longListName = 2 * 1024 * 1024;
    cases.push_back({"2 MB LIST line", longName, -1, 0});
    return cases;
}

int runHostile()
{
    QTemporaryDir temp;
    std::printf("%-18s %6s %9s %12s %14s %10s\n", "server", "rows", "seconds", "stop->end ms", "peak growth MB", "x message");
    for (const HostileCase& hostile : hostileCases()) {
        ScriptedImapServer server(hostile.script);
        server.applyEnvironment();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TEMP"), temp.path());
        environment.insert(QStringLiteral("TALLYHIVE_PING_HOST"), QString());
        environment.insert(QStringLiteral("TALLYHIVE_HOME_PAGE"), QString());
        environment.insert(QStringLiteral("TALLYHIVE_RECONNECT_DELAY_MS"), QStringLiteral("100"));
        environment.insert(QString::fromLatin1(kUserVariable), hostile.script.user);
        environment.insert(QString::fromLatin1(kPasswordVariable), hostile.script.password);
        const Figures f = runMode(QStringLiteral("hostile"), 0, environment,
                                  {QStringLiteral("--stop-after"), QString::number(hostile.stopAfterMs)});
        const double growthMb = f.growthKb / 1024.0;
        std::printf("%-18s %6lld %9.2f %12s %14.1f %10s\n", hostile.name, static_cast<long long>(f.messages), f.seconds,
                    hostile.stopAfterMs < 0 ? "-" : f.stopMs < 0 ? "ended first" : qPrintable(QString::number(f.stopMs, 'f', 0)), growthMb,
                    hostile.messageBytes > 0 ? qPrintable(QString::number(f.growthKb * 1024.0 / hostile.messageBytes, 'f', 2)) : "-");
        std::fflush(stdout);
    }
    return 0;
}

int usage()
{
    std::fprintf(stderr,
                 "usage: fetch_bench [--messages N] [--rtt MS] [--pairs K]\n"
                 "       fetch_bench --server HOST:PORT --user U --password P [--ca FILE] [--folder NAME] [--messages N] [--rtt MS]\n"
                 "       fetch_bench --hostile\n"
                 "       fetch_bench --memory [--messages N]\n"
                 "       fetch_bench --store [--messages N]\n"
                 "       fetch_bench --columns [--messages N] [--pairs K]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    // The window modes need a widget application; offscreen unless told otherwise.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    Options options;
    QString childMode;
    int stopAfterMs = -1;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == u"--hostile")
            options.hostile = true;
        else if (argument == u"--memory")
            options.memory = true;
        else if (argument == u"--store")
            options.store = true;
        else if (argument == u"--columns")
            options.columns = true;
        else if (!hasValue)
            return usage();
        else if (argument == u"--messages")
            options.messages = arguments[++i].toInt();
        else if (argument == u"--pairs")
            options.pairs = arguments[++i].toInt();
        else if (argument == u"--rtt")
            options.rttMs = arguments[++i].toInt();
        else if (argument == u"--server")
            options.server = arguments[++i];
        else if (argument == u"--user")
            options.user = arguments[++i];
        else if (argument == u"--password")
            options.password = arguments[++i];
        else if (argument == u"--ca")
            options.caFile = arguments[++i];
        else if (argument == u"--folder")
            options.folder = arguments[++i];
        else if (argument == u"--child")
            childMode = arguments[++i];
        else if (argument == u"--stop-after")
            stopAfterMs = arguments[++i].toInt();
        else
            return usage();
    }
    if (options.messages < 0 || options.rttMs < 0 || options.pairs < 1 || (!options.server.isEmpty() && !options.server.contains(u':')))
        return usage();
    try {
        if (!childMode.isEmpty())
            return runChild(childMode, options.messages, stopAfterMs);
        return options.hostile ? runHostile() : runBenchmark(options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "fetch_bench: %s\n", error.what());
        return 1;
    }
}

// Fetch speed against a local Dovecot: the session's extraction loop compared
// with the bare IMAP client fetching the same messages (the floor), and the
// main window filling its list from the same folder (with the longest wait
// between two processed events, and how long a Stop takes to end the run).
// Each mode runs in a child process of its own so its peak RSS is its own.
//
//   fetch_bench [--messages N]      (default 10000)

#include "app/config.h"
#include "mail/imap_session.h"
#include "mainwindow/form1.h"
#include "platform/imap/imap_client.h"
#include "platform/imap/tls_transport.h"
#include "platform/mailbox/mailbox_component.h"
#include "platform/message_boxes.h"
#include "platform/qt/qt_list_view.h"
#include "platform/xlsx/xlsx_spreadsheet.h"
#include "support/dovecot_server.h"
#include "support/memory_settings_store.h"
#include "support/recording_message_boxes.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTimer>
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
    double longestGapMs = 0;  // window modes: longest time without processed events
    double stopMs = 0;        // stop mode: from the Stop click to the end of the run
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
    std::printf("messages=%lld bytes=%lld seconds=%.6f cpu=%.6f rss=%lld gap=%.3f stop=%.3f\n",
                static_cast<long long>(f.messages), static_cast<long long>(f.bytes), f.seconds, f.cpuSeconds,
                static_cast<long long>(f.peakRssKb), f.longestGapMs, f.stopMs);
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

// The real main window, offscreen: sign in, then "2a. Get All Emails". With
// stopHalfway, Stop is clicked once half the rows are listed.
Figures runWindow(int count, bool stopHalfway)
{
    tallyhive::testing::RecordingMessageBoxes boxes;
    tallyhive::testing::MemorySettingsStore settings;
    tallyhive::platform::XlsxSpreadsheetFactory spreadsheets;
    tallyhive::Form1 window(
        tallyhive::Form1Services{boxes, settings, spreadsheets, [] { return tallyhive::platform::createImapComponent(); }});
    window.Form_Load();
    window.show();
    window.Text1->setText(qEnvironmentVariable(kUserVariable));
    window.Combo1->setCurrentIndex(0);
    window.Text2->setText(qEnvironmentVariable(kPasswordVariable));
    window.PushButton1_Click();

    Figures figures;
    QElapsedTimer clock;
    QElapsedTimer stopClock;
    qint64 lastTick = 0;
    qint64 longestGap = 0;
    // Fires whenever the window gets to process its events.
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longestGap = std::max(longestGap, now - lastTick);
        lastTick = now;
        if (stopHalfway && !stopClock.isValid() && window.ListView1->rowCount() >= count / 2) {
            stopClock.start();
            window.PushButton3_Click();
        }
    });
    ticker.start();
    clock.start();
    window.PushButton3_Click();
    figures.seconds = clock.nsecsElapsed() / 1e9;
    ticker.stop();
    if (stopClock.isValid())
        figures.stopMs = stopClock.nsecsElapsed() / 1e6;
    figures.longestGapMs = longestGap / 1e6;
    figures.messages = window.ListView1->rowCount();
    for (const auto& box : boxes.shown) {
        if (box.text != u"Done.")
            std::fprintf(stderr, "[box] %s\n", qPrintable(box.text));
    }
    measureProcess(figures);
    return figures;
}

int runChild(const QString& mode, int count)
{
    const Figures figures = mode == u"floor"        ? runFloor(count)
                            : mode == u"extraction" ? runExtraction(count)
                                                    : runWindow(count, mode == u"stop");
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
        else if (key == u"gap")
            figures.longestGapMs = value.toDouble();
        else if (key == u"stop")
            figures.stopMs = value.toDouble();
    }
    if (child.exitCode() != 0 && mode != u"stop")
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
    const Figures window = runMode(QStringLiteral("window"), count, environment);
    const Figures stopped = runMode(QStringLiteral("stop"), count, environment);

    std::printf("%-11s %9s %9s %9s %11s %8s %12s\n", "mode", "messages", "seconds", "cpu s", "messages/s", "MB/s",
                "peak RSS MB");
    printRow("floor", floor, mailBytes);
    printRow("extraction", extraction, mailBytes);
    printRow("window", window, mailBytes);
    const double floorRate = floor.seconds > 0 ? floor.messages / floor.seconds : 0;
    const double extractionRate = extraction.seconds > 0 ? extraction.messages / extraction.seconds : 0;
    std::printf("ratio extraction/floor: %.2f (goal >= 0.60)\n", floorRate > 0 ? extractionRate / floorRate : 0.0);
    const double windowRate = window.seconds > 0 ? window.messages / window.seconds : 0;
    std::printf("ratio window/extraction: %.2f (goal >= 0.80)\n", extractionRate > 0 ? windowRate / extractionRate : 0.0);
    std::printf("window: longest wait between processed events %.1f ms\n", window.longestGapMs);
    std::printf("stop: clicked with half the rows listed; the run ended %.1f ms later with %lld rows (longest wait %.1f ms)\n",
                stopped.stopMs, static_cast<long long>(stopped.messages), stopped.longestGapMs);
    std::printf("peak RSS / mail size: extraction %.2f, floor %.2f (goal < 2)\n",
                extraction.peakRssKb * 1024.0 / mailBytes, floor.peakRssKb * 1024.0 / mailBytes);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    // The window modes need a widget application; offscreen unless told otherwise.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
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

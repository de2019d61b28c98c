#include "fetch_bench_modes.h"

#include "program/config.h"
#include "event_gaps.h"
#include "interfaces/message_boxes.h"
#include "mail/imap_session.h"
#include "mainwindow/form1.h"
#include "platform/imap/imap_client.h"
#include "platform/imap/tls_transport.h"
#include "platform/mailbox/mailbox_component.h"
#include "platform/qt/qt_list_view.h"
#include "platform/store/sqlite_message_store.h"
#include "platform/xlsx/xlsx_spreadsheet.h"
#include "program/component_options.h"
#include "support/memory_settings_store.h"
#include "support/process_memory.h"
#include "support/recording_message_boxes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QRadioButton>

#include <sys/resource.h>

#include <cstdio>

namespace tallyhive::bench {
namespace {

double cpuSeconds(const rusage& usage)
{
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// On the main thread: its own time is the second figure.
void measureProcess(Figures& figures)
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    figures.peakRssKb = usage.ru_maxrss;
    figures.cpuSeconds = cpuSeconds(usage);
    getrusage(RUSAGE_THREAD, &usage);
    figures.mainCpuSeconds = cpuSeconds(usage);
}

void printFigures(const Figures& f)
{
    std::printf("messages=%lld bytes=%lld seconds=%.6f cpu=%.6f main=%.6f rss=%lld growth=%lld gap=%.3f stop=%.3f export=%.6f\n",
                static_cast<long long>(f.messages), static_cast<long long>(f.bytes), f.seconds, f.cpuSeconds, f.mainCpuSeconds,
                static_cast<long long>(f.peakRssKb), static_cast<long long>(f.growthKb), f.longestGapMs, f.stopMs,
                f.exportSeconds);
}

QString folder() { return qEnvironmentVariable(kFolderVariable, QStringLiteral("Inbox")); }

// Boxes would block a benchmark; their texts go to stderr instead.
class PrintingMessageBoxes : public platform::MessageBoxes {
public:
    void show(const QString& text, const QString& title, platform::BoxIcon) override
    {
        std::fprintf(stderr, "[box] %s: %s\n", qPrintable(title), qPrintable(text));
    }
    std::optional<QString> input(const QString&, const QString&, const QString&) override { return std::nullopt; }
    bool offer(const QString& text, const QString& title, const QString&) override
    {
        show(text, title, platform::BoxIcon::None);
        return false;
    }
    std::optional<platform::MicrosoftApplication> microsoftSetup(const platform::MicrosoftApplication&) override { return std::nullopt; }
};

Figures runExtraction(int count)
{
    PrintingMessageBoxes boxes;
    auto session = std::make_shared<clsChilkatIMAP>(boxes);
    session->ChilkatIMAPObject = platform::createImapComponent(imapOptionsFromConfig());
    session->PORT = config::imapPort();
    session->IMAPServer = config::imapHost();
    session->Username = qEnvironmentVariable(kUserVariable);
    session->Password = qEnvironmentVariable(kPasswordVariable);

    Figures figures;
    session->MailExtractListing = [&figures](EmailRecord&& listing, int) {
        ++figures.messages;
        figures.bytes += listing.s_From.size() + listing.s_Subject.size() + listing.s_ReceivedDate.size()
                         + listing.s_PlainText.size() + listing.s_HTMLText.size();
    };
    QElapsedTimer timer;
    timer.start();
    session->StartMailExtraction(folder(), 1, count);
    figures.seconds = timer.nsecsElapsed() / 1e9;
    measureProcess(figures);
    return figures;
}

// The bare client: one request at a time, or its own window of requests.
Figures runFloor(int count, bool window)
{
    platform::ImapOptions options = imapOptionsFromConfig();
    // A message a command, as the C client the figures are held against asks.
    options.window.messagesPerRequest = 1;
    options.window.mostPerRequest = 1;
    platform::ImapClient client(std::make_unique<platform::TlsTransport>(options.caFile), options);
    Figures figures;
    QElapsedTimer timer;
    timer.start();
    platform::MailResult step = client.connect(imapServerFromConfig());
    if (step.ok())
        step = client.login(qEnvironmentVariable(kUserVariable), qEnvironmentVariable(kPasswordVariable));
    if (step.ok())
        step = client.selectMailbox(folder());
    if (step.ok() && window)
        step = client.beginFetchRun(1, count);
    if (!step.ok()) {
        std::fprintf(stderr, "floor: %s\n", qPrintable(step.text));
        return figures;
    }
    for (int n = 1; n <= count; ++n) {
        QByteArray bytes;
        if (window) {
            const auto fetched = client.fetchRunRaw(n);
            if (fetched.status != platform::MailStatus::Ok)
                continue;
            bytes = fetched.message.bytes;
        } else {
            const auto fetched = client.fetchRaw(n);
            if (!fetched.ok())
                continue;
            bytes = fetched.value.bytes;
        }
        ++figures.messages;
        figures.bytes += bytes.size();
    }
    figures.seconds = timer.nsecsElapsed() / 1e9;
    measureProcess(figures);
    if (window)
        client.endFetchRun();
    client.disconnect();
    return figures;
}

// A client that asks for the whole range in one command and only counts
// what comes: what the link gives at best, round trips aside.
Figures runRange(int count)
{
    const platform::ImapOptions options = imapOptionsFromConfig();
    const platform::ImapServer server = imapServerFromConfig();
    platform::TlsTransport link(options.caFile);
    Figures figures;
    QElapsedTimer timer;
    timer.start();
    if (!link.open(server.host, server.port, options.connectTimeoutMs, [] { return true; })) {
        std::fprintf(stderr, "range: %s\n", qPrintable(link.errorText()));
        return figures;
    }
    QByteArray pending;
    // Reads to the tagged reply of `tag`, skipping literals; counts each FETCH.
    const auto readTo = [&](const QByteArray& tag) {
        qint64 skip = 0;
        while (link.isOpen()) {
            if (skip > 0) {
                const qint64 taken = qMin<qint64>(skip, pending.size());
                pending.remove(0, taken);
                skip -= taken;
                figures.bytes += taken;
            }
            const qsizetype end = skip > 0 ? -1 : pending.indexOf("\r\n");
            if (end < 0) {
                pending += link.read(options.readTimeoutMs);
                continue;
            }
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 2);
            if (line.startsWith("* ") && line.contains(" FETCH "))
                ++figures.messages;
            if (line.endsWith('}'))
                skip = line.mid(line.lastIndexOf('{') + 1).chopped(1).toLongLong();
            if (line.startsWith(tag + ' '))
                return line.contains(" OK");
        }
        return false;
    };
    const QByteArray user = qEnvironmentVariable(kUserVariable).toUtf8();
    const QByteArray password = qEnvironmentVariable(kPasswordVariable).toUtf8();
    readTo("*");  // the greeting ends no command; the first line is read with it
    link.write("a LOGIN \"" + user + "\" \"" + password + "\"\r\n");
    bool ok = readTo("a");
    link.write("b SELECT \"" + folder().toUtf8() + "\"\r\n");
    ok = ok && readTo("b");
    link.write("c FETCH 1:" + QByteArray::number(count) + " (BODY.PEEK[])\r\n");
    ok = ok && readTo("c");
    figures.seconds = timer.nsecsElapsed() / 1e9;
    measureProcess(figures);
    link.write("d LOGOUT\r\n");
    link.close();
    if (!ok)
        std::fprintf(stderr, "range: the server refused a command\n");
    return figures;
}

// The real main window, offscreen: sign in, then "2a. Get All Emails". Stop
// is clicked once `stopAtRows` rows are listed, or `stopAfterMs` after the start.
// With sendToExcel, every row is then checked and sent to a workbook. With
// a store, "Remember me" is ticked first, so the store is used.
Figures runWindow(int stopAtRows, int stopAfterMs, bool sendToExcel = false, bool withStore = false, bool allColumns = false)
{
    std::shared_ptr<platform::SqliteMessageStore> store;
    if (withStore)
        store = std::make_shared<platform::SqliteMessageStore>(messageStoreOptionsFromConfig());
    testing::RecordingMessageBoxes boxes;
    testing::MemorySettingsStore settings;
    if (allColumns)
        settings.set(QStringLiteral("ListColumns"), QStringLiteral("To,Cc,Size,Message-ID,Attachments,Folder"));
    platform::XlsxSpreadsheetFactory spreadsheets(workbookOptionsFromConfig());
    const platform::ImapServer server = imapServerFromConfig();
    const platform::ImapOptions options = imapOptionsFromConfig();
    const Deployment deployment = config::deployment();
    Form1 window(Form1Services{boxes, settings, spreadsheets, server, deployment,
                               [options, store] { return platform::createImapComponent(options, store); }, nullptr, store.get()});
    window.Form_Load();
    window.show();
    if (withStore)
        window.findChild<QCheckBox*>(QStringLiteral("Check1"))->setCheckState(Qt::Checked);
    window.findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(qEnvironmentVariable(kUserVariable));
    window.findChild<QComboBox*>(QStringLiteral("Combo1"))->setCurrentIndex(0);
    window.findChild<QLineEdit*>(QStringLiteral("Text2"))->setText(qEnvironmentVariable(kPasswordVariable));
    window.PushButton1_Click();
    window.findChild<QRadioButton*>(QStringLiteral("Option3"))->click();

    Figures figures;
    EventGaps gaps;
    const QElapsedTimer& clock = gaps.clock();
    QElapsedTimer stopClock;
    gaps.onTurn = [&] {
        const bool due = (stopAtRows > 0 && window.listView().rowCount() >= stopAtRows)
                         || (stopAfterMs >= 0 && clock.elapsed() >= stopAfterMs);
        if (due && !stopClock.isValid()) {
            stopClock.start();
            window.PushButton3_Click();
        }
    };
    testing::resetPeakResident();
    const qint64 before = testing::residentBytes();
    gaps.start();
    window.PushButton3_Click();
    figures.seconds = clock.nsecsElapsed() / 1e9;
    gaps.stop();
    figures.growthKb = (testing::peakResidentBytes() - before) / 1024;
    if (stopClock.isValid())
        figures.stopMs = stopClock.nsecsElapsed() / 1e6;
    figures.longestGapMs = gaps.longestMs();
    figures.messages = window.listView().rowCount();
    if (store) {
        QElapsedTimer flushClock;
        flushClock.start();
        store->flush();
        std::fprintf(stderr, "store: %.2f s more to write what Get All kept\n", flushClock.nsecsElapsed() / 1e9);
    }
    if (sendToExcel) {
        std::fprintf(stderr, "memory: %.1f MB before Get All, peak %.1f MB during it, %.1f MB after it\n", before / 1e6,
                     testing::peakResidentBytes() / 1e6, testing::residentBytes() / 1e6);
        window.PushButton5_Click();
        QElapsedTimer exportClock;
        exportClock.start();
        window.PushButton4_Click();
        figures.exportSeconds = exportClock.nsecsElapsed() / 1e9;
    }
    for (const auto& box : boxes.shown) {
        if (box.text != u"Done.")
            std::fprintf(stderr, "[box] %s\n", qPrintable(box.text.left(300)));
    }
    measureProcess(figures);
    return figures;
}

}  // namespace

Figures parseFigures(const QString& line)
{
    Figures figures;
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
        else if (key == u"main")
            figures.mainCpuSeconds = value.toDouble();
        else if (key == u"rss")
            figures.peakRssKb = value.toLongLong();
        else if (key == u"growth")
            figures.growthKb = value.toLongLong();
        else if (key == u"gap")
            figures.longestGapMs = value.toDouble();
        else if (key == u"stop")
            figures.stopMs = value.toDouble();
        else if (key == u"export")
            figures.exportSeconds = value.toDouble();
    }
    return figures;
}

int runChild(const QString& mode, int count, int stopAfterMs)
{
    Figures figures;
    if (mode == u"floor" || mode == u"floor16")
        figures = runFloor(count, mode == u"floor16");
    else if (mode == u"range")
        figures = runRange(count);
    else if (mode == u"extraction")
        figures = runExtraction(count);
    else if (mode == u"window")
        figures = runWindow(0, -1);
    else if (mode == u"stop")
        figures = runWindow(count / 2, -1);
    else if (mode == u"memory")
        figures = runWindow(0, -1, true);
    else if (mode == u"stored")
        figures = runWindow(0, -1, false, true);
    else if (mode == u"columns")
        figures = runWindow(0, -1, false, false, true);
    else
        figures = runWindow(0, stopAfterMs);
    printFigures(figures);
    return mode == u"hostile" || figures.messages == count ? 0 : 1;
}

}  // namespace tallyhive::bench

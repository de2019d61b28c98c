// Send To Excel from a list of 10,000 checked rows with realistic bodies
// (median 8 KB, one in fifty 200 KB) to a closed .xlsx file; with --dir DIR,
// from the messages of a mailbox scripts/make-mailbox wrote (every .eml file
// under DIR, converted as Get All converts them). Prints the time,
// rows per second, the workbook's size and the memory the export itself added;
// then what deflating the workbook's parts at zlib's level 6 (the library's)
// takes, the ratio of the two, and what the export's event points cost.

#include "app/general_date.h"
#include "app/pending_events.h"
#include "export/send_to_excel.h"
#include "platform/mime/mime_message.h"
#include "platform/xlsx/xlsx_spreadsheet.h"
#include "support/fake_list_view.h"
#include "support/recording_message_boxes.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int Rows = 10000;

// "VmHWM" (peak) or "VmRSS" (now) of this process, in MiB.
double memoryMiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(static_cast<qsizetype>(qstrlen(field)) + 1).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

// Mail-like text: words, punctuation, line breaks, now and then a line that
// begins with "=" as quoted-printable leftovers do.
QString body(QRandomGenerator& random, qsizetype length)
{
    static const QStringList words = QString::fromLatin1(
        "the invoice for march is attached please find and confirm receipt of payment meeting "
        "tomorrow at ten regards team project update schedule review budget quarterly report "
        "https://example.com/track?id=42 Grüße naïve café 1,234.56 EUR").split(u' ');
    QString text;
    text.reserve(length + 32);
    while (text.size() < length) {
        const quint32 pick = random.bounded(100u);
        if (pick < 3)
            text += QStringLiteral("\r\n=20");
        else if (pick < 10)
            text += QStringLiteral(".\r\n");
        else
            text += words.at(random.bounded(static_cast<int>(words.size()))) + u' ';
    }
    text.truncate(length);
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;

    auto list = tallyhive::testing::FakeListView::withStandardColumns();
    qint64 bodyCharacters = 0;
    const qsizetype dirAt = app.arguments().indexOf(QStringLiteral("--dir"));
    QStringList mails;
    if (dirAt > 0) {
        QDirIterator found(app.arguments().value(dirAt + 1), {QStringLiteral("*.eml")}, QDir::Files, QDirIterator::Subdirectories);
        while (found.hasNext())
            mails << found.next();
        mails.sort();
    }
    for (const QString& path : mails) {
        QFile mail(path);
        if (!mail.open(QIODevice::ReadOnly))
            continue;
        tallyhive::EmailRecord record = tallyhive::platform::messageFromBytes(mail.readAll(), {});
        record.s_ReceivedDate = tallyhive::general_date::format(record.receivedAt);
        bodyCharacters += record.s_PlainText.size();
        list.setChecked(list.addRow(std::move(record)), true);
    }
    const int rows = mails.isEmpty() ? Rows : static_cast<int>(mails.size());
    QRandomGenerator random(20260207);
    for (int row = 1; mails.isEmpty() && row <= Rows; ++row) {
        // Median 8 KB (2 .. 14 KB evenly), and one row in fifty of 200 KB.
        const qsizetype length = row % 50 == 0 ? 200 * 1024 : 2048 + random.bounded(12 * 1024);
        list.addRow({QStringLiteral("\"Sender %1\" <sender%1@example.com>").arg(row), QStringLiteral("Sender %1").arg(row),
                     QStringLiteral("sender%1@example.com").arg(row), QStringLiteral("Re: invoice %1 = paid?").arg(row),
                     QStringLiteral("12/7/2026 8:55:01 PM"), body(random, length), {},
                     QDateTime(QDate(2026, 12, 7), QTime(20, 55, 1))});
        list.setChecked(row, true);
        bodyCharacters += length;
    }

    // Writing 5 to clear_refs restarts the peak count, so the peak below is the export's.
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
    clearRefs.close();
    const double rssBefore = memoryMiB("VmRSS:");
    tallyhive::platform::XlsxSpreadsheetFactory spreadsheets({folder.path(), false});
    tallyhive::testing::RecordingMessageBoxes boxes;
    QElapsedTimer timer;
    timer.start();
    qint64 eventPoints = 0;
    tallyhive::setPendingEventsObserver([&eventPoints] { ++eventPoints; });
    tallyhive::SendToExcel(list, spreadsheets, boxes, [] {});
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    tallyhive::setPendingEventsObserver(nullptr);
    // The same number of event points again, alone.
    timer.restart();
    for (qint64 i = 0; i < eventPoints; ++i)
        tallyhive::letPendingEventsRun();
    const double eventSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    const double peakAfter = memoryMiB("VmHWM:");

    const QStringList files = QDir(folder.path()).entryList(QDir::Files);
    const qint64 bytes = files.isEmpty() ? 0 : QFileInfo(QDir(folder.path()).filePath(files.first())).size();
    const bool done = boxes.texts() == QStringList{QStringLiteral("Done.")};
    // zlib in Python is the C library; the parts are read out first, untimed.
    QProcess deflate;
    deflate.start(QStringLiteral("/usr/bin/python3"),
                  {QStringLiteral("-c"),
                   QStringLiteral("import sys, time, zipfile, zlib\n"
                                  "z = zipfile.ZipFile(sys.argv[1]); parts = [z.read(n) for n in z.namelist()]\n"
                                  "t = time.perf_counter()\n"
                                  "for p in parts:\n"
                                  "    c = zlib.compressobj(6, zlib.DEFLATED, -15); c.compress(p); c.flush()\n"
                                  "print(time.perf_counter() - t, sum(map(len, parts)))\n"),
                   files.isEmpty() ? QString() : QDir(folder.path()).filePath(files.first())});
    deflate.waitForFinished(600000);
    const QList<QByteArray> deflated = deflate.readAllStandardOutput().trimmed().split(' ');
    const double deflateSeconds = deflated.value(0).toDouble();

    std::printf("export_bench: %d checked rows, %.1f MB of body text\n", rows, static_cast<double>(bodyCharacters) / 1e6);
    std::printf("  result        %s (%lld boxes)\n", done ? "Done." : "FAILED", static_cast<long long>(boxes.shown.size()));
    std::printf("  seconds       %.2f\n", seconds);
    std::printf("  rows/s        %.0f\n", rows / seconds);
    std::printf("  workbook      %.1f MB (%.1f MB of parts)\n", static_cast<double>(bytes) / 1e6,
                deflated.value(1).toDouble() / 1e6);
    std::printf("  deflate       %.2f s for the parts at level 6; export / deflate %.2f (goal <= 1.3)\n", deflateSeconds,
                deflateSeconds > 0 ? seconds / deflateSeconds : 0.0);
    std::printf("  event points  %lld, %.3f s when run alone\n", static_cast<long long>(eventPoints), eventSeconds);
    std::printf("  RSS           %.0f MiB before the export (list and records)\n", rssBefore);
    std::printf("  peak RSS      %.0f MiB during the export (%.0f MiB above the list and records)\n", peakAfter,
                peakAfter - rssBefore);
    return done ? 0 : 1;
}

#include "app/run_command.h"

#include "app/pending_events.h"
#include "app/texts.h"
#include "interfaces/error.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStringDecoder>

namespace tallyhive {
namespace {

constexpr qint64 ReadBufferSize = 1024;
constexpr int PollMs = 50;
// Start-up waits for the ping; an unreachable host must not hold it up long.
constexpr int PingLimitMs = 4000;

}  // namespace

QString RunCommand(const QString& CommandLine, bool CaptureStdOut, bool CaptureStdErr, bool OemToAnsi,
                   std::optional<int> limitMs)
{
    if (!CaptureStdOut && !CaptureStdErr)
        throw AppError(QStringLiteral("Invalid procedure call or argument"));

    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    if (CaptureStdOut && CaptureStdErr) {
        process.setProcessChannelMode(QProcess::MergedChannels);
    } else if (CaptureStdOut) {
        process.setStandardErrorFile(QProcess::nullDevice());
    } else {
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setReadChannel(QProcess::StandardError);
    }
    bool outputClosed = false;
    QObject::connect(&process, &QProcess::readChannelFinished, [&outputClosed] { outputClosed = true; });

    process.startCommand(CommandLine);
    if (!process.waitForStarted())
        return texts::ProcessStartFailed;

    // The platform has one text encoding for console output and windows alike,
    // so OemToAnsi changes nothing here; a multi-byte character split between
    // two reads must still come out whole.
    Q_UNUSED(OemToAnsi);
    QStringDecoder decoder(QStringDecoder::System);
    QString result;
    QElapsedTimer clock;
    clock.start();
    char buffer[ReadBufferSize];
    for (;;) {
        letPendingEventsRun();
        if (process.bytesAvailable() == 0) {
            if (outputClosed || process.state() == QProcess::NotRunning)
                break;
            if (limitMs && clock.elapsed() > *limitMs) {
                process.kill();
                process.waitForFinished(PollMs);
                break;
            }
            process.waitForReadyRead(PollMs);
            continue;
        }
        const qint64 got = process.read(buffer, ReadBufferSize);
        if (got <= 0)
            break;
        result += decoder.decode(QByteArrayView(buffer, got));
    }
    result += decoder.decode(QByteArrayView());
    if (process.state() != QProcess::NotRunning)
        process.waitForFinished(PollMs);
    return result;
}

void CheckOnline(platform::MessageBoxes& boxes, const QString& host)
{
    if (host.isEmpty())
        return;
    // The host goes onto a command line: only a plain name or address may.
    static const QRegularExpression plainHost(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9.:-]*$"));
    QString output;
    if (plainHost.match(host).hasMatch())
        output = RunCommand(QStringLiteral("ping -c 1 -W 2 ") + host, true, false, true, PingLimitMs);
    // Windows' ping marks a reply with "bytes=", Linux' with "bytes from".
    const bool replied = output.contains(texts::PingReplyMarker, Qt::CaseInsensitive)
        || output.contains(QStringLiteral("bytes from"), Qt::CaseInsensitive);
    if (!replied)
        boxes.show(texts::MustBeOnline, texts::AppTitle, platform::BoxIcon::None);
}

}  // namespace tallyhive

// Message conversion alone: one 5 MB message of each common shape, and
// 10,000 messages of about 8 KB (multipart/alternative, quoted-printable
// plain text and base64 HTML). Prints times and throughput.
//
// With --dir DIR, converts every .eml file under DIR instead (a mailbox
// fetch_bench made, say) on one thread, three times, and prints the best
// time and what the kept bodies take against the mail.

#include "platform/mime/mime_message.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

using tallyhive::platform::messageFromBytes;

constexpr qsizetype FiveMB = 5 * 1000 * 1000;
constexpr int SmallMessages = 10000;

QByteArray headers(int number, const char* contentType)
{
    return QByteArray("From: =?UTF-8?Q?Zo=C3=AB_=C3=9Cnal?= <zoe@example.org>\r\nTo: desk@example.com\r\n"
                      "Subject: =?UTF-8?B?UXVhcnRlcmx5IGZpZ3VyZXMg4oCTIE3DpHJ6?= ")
        + QByteArray::number(number) + "\r\nDate: Mon, 03 Feb 2020 10:15:30 +0100\r\nMIME-Version: 1.0\r\n"
        + "Content-Type: " + contentType + "\r\n";
}

// Mail-like UTF-8 prose with CRLF line breaks.
QByteArray prose(QRandomGenerator& random, qsizetype length)
{
    static const char* const words[] = {"the", "invoice", "für", "März", "is", "attached", "please", "confirm",
                                        "payment", "Grüße", "meeting", "agenda", "€", "total", "regards"};
    QByteArray text;
    text.reserve(length + 16);
    qsizetype lineStart = 0;
    while (text.size() < length) {
        text.append(words[random.bounded(int(std::size(words)))]);
        if (text.size() - lineStart > 70) {
            text.append("\r\n");
            lineStart = text.size();
        } else {
            text.append(' ');
        }
    }
    return text;
}

QByteArray quotedPrintable(const QByteArray& text)
{
    QByteArray out;
    out.reserve(text.size() * 2);
    int column = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r' || c == '\n') {
            out.append(c);
            column = 0;
            continue;
        }
        if (column > 72) {
            out.append("=\r\n");
            column = 0;
        }
        if (byte >= 0x80 || c == '=') {
            out.append('=').append(QByteArray::number(byte, 16).toUpper().rightJustified(2, '0'));
            column += 3;
        } else {
            out.append(c);
            ++column;
        }
    }
    return out;
}

QByteArray base64Lines(const QByteArray& data)
{
    const QByteArray encoded = data.toBase64();
    QByteArray out;
    out.reserve(encoded.size() + encoded.size() / 76 * 2 + 2);
    for (qsizetype i = 0; i < encoded.size(); i += 76)
        out.append(encoded.mid(i, 76)).append("\r\n");
    return out;
}

QByteArray bigPlainMessage(QRandomGenerator& random)
{
    return headers(1, "text/plain; charset=utf-8") + "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
        + quotedPrintable(prose(random, FiveMB * 8 / 10));
}

QByteArray bigAttachmentMessage(QRandomGenerator& random)
{
    QByteArray binary(FiveMB * 7 / 10, Qt::Uninitialized);
    for (char& c : binary)
        c = static_cast<char>(random.bounded(256));
    return headers(2, "multipart/mixed; boundary=\"b\"") + "\r\n--b\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n"
        + prose(random, 2000) + "\r\n--b\r\nContent-Type: application/pdf; name=\"big.pdf\"\r\n"
        + "Content-Disposition: attachment; filename=\"big.pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\n"
        + base64Lines(binary) + "--b--\r\n";
}

QByteArray smallMessage(QRandomGenerator& random, int number)
{
    const QByteArray text = prose(random, 2800 + random.bounded(800));
    QByteArray html = "<html><body><p>" + text + "</p></body></html>\r\n";
    html.replace("\r\n", "<br>\r\n");
    return headers(number, "multipart/alternative; boundary=\"alt\"")
        + "\r\n--alt\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
        + quotedPrintable(text) + "\r\n--alt\r\nContent-Type: text/html; charset=utf-8\r\n"
        + "Content-Transfer-Encoding: base64\r\n\r\n" + base64Lines(html) + "--alt--\r\n";
}

void timeBigMessage(const char* shape, const QByteArray& raw)
{
    std::vector<double> milliseconds;
    qsizetype characters = 0;
    for (int round = 0; round < 5; ++round) {
        QElapsedTimer timer;
        timer.start();
        const auto message = messageFromBytes(raw, QDateTime::currentDateTime());
        milliseconds.push_back(double(timer.nsecsElapsed()) / 1e6);
        characters = message.s_PlainText.size() + message.s_HTMLText.size();
    }
    std::sort(milliseconds.begin(), milliseconds.end());
    std::printf("%-22s %8.2f MB %10.1f ms (median of 5, best %.1f) %10lld characters\n", shape,
                double(raw.size()) / 1e6, milliseconds[2], milliseconds[0], static_cast<long long>(characters));
}

int convertFolder(const QString& folder)
{
    std::vector<QByteArray> messages;
    qsizetype bytes = 0;
    QDirIterator files(folder, {QStringLiteral("*.eml")}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        messages.push_back(file.readAll());
        bytes += messages.back().size();
    }
    if (messages.empty()) {
        std::fprintf(stderr, "no .eml files under %s\n", qPrintable(folder));
        return 1;
    }
    const QDateTime arrival = QDateTime::currentDateTime();
    double best = 0;
    qsizetype kept = 0;
    for (int round = 0; round < 3; ++round) {
        kept = 0;
        QElapsedTimer timer;
        timer.start();
        for (const QByteArray& raw : messages) {
            const auto message = messageFromBytes(raw, arrival);
            kept += message.s_PlainText.serialised().size() + message.s_HTMLText.serialised().size();
        }
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        best = round == 0 ? seconds : std::min(best, seconds);
    }
    std::printf("%zu messages, %.1f MB: best of 3 %.3f s, %.1f us a message, %.1f MB/s; bodies kept %.1f MB (%.3f of the mail)\n",
                messages.size(), double(bytes) / 1e6, best, best * 1e6 / double(messages.size()), double(bytes) / 1e6 / best,
                double(kept) / 1e6, double(kept) / double(bytes));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--dir") == 0)
        return convertFolder(QString::fromLocal8Bit(argv[2]));
    QRandomGenerator random(20200203);
    std::printf("one large message (goal: well under 1000 ms)\n");
    timeBigMessage("5 MB quoted-printable", bigPlainMessage(random));
    timeBigMessage("5 MB with attachment", bigAttachmentMessage(random));

    std::vector<QByteArray> messages;
    messages.reserve(SmallMessages);
    qsizetype bytes = 0;
    for (int i = 0; i < SmallMessages; ++i) {
        messages.push_back(smallMessage(random, i));
        bytes += messages.back().size();
    }
    const QDateTime arrival = QDateTime::currentDateTime();
    QElapsedTimer timer;
    timer.start();
    qsizetype characters = 0;
    for (const QByteArray& raw : messages)
        characters += messageFromBytes(raw, arrival).s_PlainText.size();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf("\n%d messages, average %.1f KB (goal: thousands per second)\n", SmallMessages,
                double(bytes) / SmallMessages / 1000.0);
    std::printf("%.2f s, %.0f messages/s, %.1f MB/s, %lld plain characters\n", seconds, SmallMessages / seconds,
                double(bytes) / 1e6 / seconds, static_cast<long long>(characters));
    return 0;
}

// Not a benchmark: a check ctest runs. Messages of 1 to 20 MB in every shape
// known to have cost the conversion far more than its size, and the fuzzer's
// seeds scaled up, each converted in a child process of its own so that its
// memory is its own. Each conversion must keep its resident memory within
// 20 times the message's size and its CPU time within a fixed time per MB.
//
//   message_size_check                   every shape at 1, 5 and 20 MB
//   message_size_check --mb 1,5          those sizes only
//   message_size_check --shape TEXT      the shapes whose name holds TEXT
//   message_size_check --measure         figures only: no bounds, no limits
//
// Generated, never read from the network; the seeds come from
// fuzz/corpus/message_fuzz.

#include "platform/mime/mime_message.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using tallyhive::EmailRecord;
using tallyhive::platform::messageFromBytes;

constexpr qsizetype kMB = 1000 * 1000;
constexpr double kMemoryPerSize = 20.0;
// CPU seconds per MB: no message the conversion parses takes a sixth of this.
constexpr double kSecondsPerMB = 0.25;

struct Shape {
    std::string name;
    std::function<QByteArray(qsizetype)> make;
};

QByteArray head(QByteArrayView fields)
{
    return "From: Sender <sender@example.com>\r\nTo: desk@example.com\r\nSubject: shape\r\n"
           "Date: Mon, 03 Feb 2020 10:15:30 +0100\r\nMIME-Version: 1.0\r\n"
        + fields.toByteArray();
}

// start, then unit again and again until the message has size bytes, then end.
QByteArray filled(QByteArray start, QByteArrayView unit, qsizetype size, QByteArrayView end = {})
{
    start.reserve(size + unit.size() + end.size());
    while (start.size() + end.size() < size)
        start.append(unit);
    return start.append(end);
}

// A header field of many items, folded as mail programs fold.
QByteArray longField(QByteArrayView name, QByteArrayView first, QByteArrayView item, qsizetype size)
{
    QByteArray field = name.toByteArray() + ": " + first.toByteArray();
    field.reserve(size + 80);
    qsizetype lineStart = 0;
    while (field.size() < size) {
        if (field.size() - lineStart > 70) {
            field.append("\r\n ");
            lineStart = field.size() - 1;
        }
        field.append(item);
    }
    return field + "\r\n";
}

QByteArray textLines(qsizetype size)
{
    return filled(head("Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"),
                  "Gr=C3=BC=C3=9Fe aus M=C3=BCnchen, 12 =E2=82=AC pro St=C3=BCck, bitte best=C3=A4tigen.\r\n", size);
}

QByteArray attachment(qsizetype size)
{
    return filled(head("Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\n"
                       "See the attachment.\r\n--b\r\nContent-Type: application/pdf\r\n"
                       "Content-Disposition: attachment; filename=\"a.pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\n"),
                  "JVBERi0xLjQKJcOkw7zDtsOfCjIgMCBvYmoKPDwvTGVuZ3RoIDMgMCBSL0ZpbHRlci9GbGF0ZUR\r\n", size, "--b--\r\n");
}

// The ways of writing a boundary that GMime reads as "x".
const char* const boundaryForms[][2] = {
    {"plain", "boundary=x"},
    {"continued", "boundary*0=\"x\""},
    {"charset", "boundary*=us-ascii''x"},
    {"quoted pair", "boundary=\"\\x\""},
    {"comment", "boundary=(c)x"},
    {"fold after =", "boundary=\r\n x"},
    {"fold before =", "boundary\r\n =x"},
    {"fold before ;", "\r\n ; boundary=x"},
    {"upper case", "BOUNDARY=\"x\""},
};

// Levels multiparts deep, each boundary written as form writes "x", as
// stem and the level's number, so that a line of the stem is compared with
// each boundary to its end.
QByteArray nested(QByteArrayView form, int levels, const QByteArray& stem = "x")
{
    QByteArray raw = head("");
    for (int level = 0; level < levels; ++level) {
        const QByteArray boundary = stem + QByteArray::number(level);
        raw += "Content-Type: multipart/mixed; " + QByteArray(form.toByteArray()).replace("x", boundary) + "\r\n\r\n--"
            + boundary + "\r\n";
    }
    return raw + "\r\n";
}

std::vector<Shape> shapes()
{
    std::vector<Shape> all = {
        {"text, quoted-printable", textLines},
        {"base64 attachment", attachment},
        {"one line without end", [](qsizetype size) { return filled(head("\r\n"), "abcdefghij", size); }},
        {"lines of -", [](qsizetype size) { return filled(head("\r\n"), "-\r\n", size); }},
        {"header lines", [](qsizetype size) { return filled(head(""), "X-Header: value\r\n", size, "\r\nbody\r\n"); }},
        {"tiny header lines", [](qsizetype size) { return filled(head(""), "a:b\n", size, "\nbody\n"); }},
        {"tiny headers in parts",
         [](qsizetype size) {
             return filled(head("Content-Type: multipart/mixed; boundary=x\r\n\r\n--x\r\n"), "a:b\n", size, "\n\nx\n--x--\n");
         }},
        {"parameters",
         [](qsizetype size) { return head(longField("Content-Type", "text/plain", "; a=b", size)) + "\r\nbody\r\n"; }},
        {"continued parameter",
         [](qsizetype size) {
             QByteArray field = "Content-Type: text/plain; name*0=a";
             for (int i = 1; field.size() < size; ++i)
                 field += "; name*" + QByteArray::number(i) + "=a";
             return head(field + "\r\n\r\nbody\r\n");
         }},
        {"addresses", [](qsizetype size) { return longField("From", "", "a@b.c, ", size) + "Subject: s\r\n\r\nbody\r\n"; }},
        {"empty groups", [](qsizetype size) { return longField("From", "", "g:;", size) + "Subject: s\r\n\r\nbody\r\n"; }},
        {"headers named by blanks",
         [](qsizetype size) {
             return filled(head("Content-Type: multipart/mixed; boundary*0=x\r\n\r\n"), "--x\n :a\n\n", size);
         }},
        {"encoded words",
         [](qsizetype size) { return longField("Subject", "", "=?utf-8?q?=C3=BC?= ", size) + "From: a@b.c\r\n\r\nbody\r\n"; }},
        {"tiny headers of an attached message",
         [](qsizetype size) { return filled(head("Content-Type: message (rfc822) / rfc822\r\n\r\n"), "a:b\n", size, "\nbody\n"); }},
        {"tiny headers of a digest's message",
         [](qsizetype size) {
             return filled(head("Content-Type: multipart/digest; boundary*0=x\r\n\r\n--x\r\n\r\n"), "a:b\n", size, "\nbody\n");
         }},
        {"nested messages",
         [](qsizetype size) { return filled(head(""), "Content-Type: message/rfc822\r\n\r\n", size, "body\r\n"); }},
        {"digest parts",
         [](qsizetype size) { return filled(head("Content-Type: multipart/digest; boundary=x\r\n\r\n"), "--x\n\n", size); }},
        {"parts with headers",
         [](qsizetype size) {
             return filled(head("Content-Type: multipart/mixed; boundary*0=x\r\n\r\n"), "--x\nContent-Type: text/plain\n\nx\n",
                           size);
         }},
    };
    // Just within what the conversion's budget lets GMime parse.
    const QByteArray stem(190, 'x');
    const QByteArray fiftyLevels = nested("boundary*0=\"x\"", 50, stem);
    const QByteArray thousandLevels = nested("boundary*0=\"x\"", 1000, stem);
    const QByteArray line(130, 'y');
    all.insert(all.end(), {
        {"parts, one per 137 bytes",
         [line](qsizetype size) {
             return filled(head("Content-Type: multipart/mixed; boundary*0=\"x\"\r\n\r\n"), "--x\r\n\r\n" + line + "\r\n", size);
         }},
        {"headers of 180 bytes", [line](qsizetype size) { return filled(head(""), "X-A: " + line + "1234567890123456789012345678901234567890123\r\n", size, "\r\nbody\r\n"); }},
        {"50 levels, lines of 200 bytes",
         [fiftyLevels, stem](qsizetype size) { return filled(fiftyLevels, "--" + stem + "zzzzzz\r\n", size); }},
        {"1000 levels, lines of 200 bytes",
         [thousandLevels, stem](qsizetype size) { return filled(thousandLevels, "--" + stem + "zzzzzz\r\n", size); }},
        {"one long subject", [](qsizetype size) { return filled(head("Subject: "), "abcdefghij", size, "\r\n\r\nbody\r\n"); }},
    });
    for (const auto& [name, form] : boundaryForms) {
        const QByteArray type = QByteArray("Content-Type: multipart/mixed; ") + form + "\r\n\r\n";
        all.push_back({std::string("--x lines, boundary ") + name,
                       [type](qsizetype size) { return filled(head(type), "--x\r\n\r\n", size); }});
        const QByteArray deep = nested(form, 1000);
        all.push_back({std::string("1000 levels, boundary ") + name,
                       [deep](qsizetype size) { return filled(deep, "--xzzz\r\n", size); }});
    }
    // The fuzzer's seeds: their bodies again and again.
    const QDir seeds(QStringLiteral(TALLYHIVE_SOURCE_DIR "/fuzz/corpus/message_fuzz"));
    for (const QString& file : seeds.entryList(QDir::Files, QDir::Name)) {
        QFile in(seeds.filePath(file));
        if (!in.open(QIODevice::ReadOnly))
            continue;
        const QByteArray seed = in.readAll();
        qsizetype bodyStart = seed.indexOf("\r\n\r\n");
        bodyStart = bodyStart < 0 ? seed.indexOf("\n\n") : bodyStart;
        const QByteArray start = bodyStart < 0 ? QByteArray() : seed.first(bodyStart + 2);
        const QByteArray body = seed.sliced(start.size());
        all.push_back({"seed " + file.toStdString(), [start, body](qsizetype size) { return filled(start, body, size); }});
    }
    return all;
}

struct Figures {
    qint64 messageBytes = 0;
    qint64 riseBytes = 0;
    double cpuSeconds = 0;
    bool keptAsRawText = false;
};

qint64 statusKilobytes(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(QByteArray(field) + ':'))
            return line.mid(int(std::strlen(field)) + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// In the child: the rise of its resident peak over what it held before, the
// message included, and the CPU time the conversion took. Made here, after
// the fork, so that no memory another message left free is there to reuse.
Figures convertHere(const Shape& shape, qsizetype size)
{
    QByteArray raw = shape.make(size);
    const qint64 messageBytes = raw.size();
    malloc_trim(0);
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");  // the peak starts again from what is resident now
    clear.close();
    const qint64 before = statusKilobytes("VmRSS");
    const double start = cpuSeconds();
    // The converter gets the only reference, as the fetch run hands it over.
    const EmailRecord message = messageFromBytes(std::move(raw), QDateTime());
    Figures figures;
    figures.messageBytes = messageBytes;
    figures.cpuSeconds = cpuSeconds() - start;
    figures.riseBytes = (statusKilobytes("VmHWM") - before) * 1024;
    figures.keptAsRawText = message.keptAsRawText;
    return figures;
}

void limit(int resource, rlim_t value)
{
    const rlimit bound{value, value};
    setrlimit(resource, &bound);
}

// Makes and converts a message of the shape in a child process. A child
// that breaks the CPU limit, the address-space limit or the wall-clock limit
// dies; why is in the text.
bool convertInChild(const Shape& shape, int megabytes, bool limited, Figures& figures, std::string& death)
{
    int channel[2];
    if (pipe(channel) != 0)
        return false;
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        close(channel[0]);
        if (limited) {
            limit(RLIMIT_CPU, rlim_t(10 + 2 * kSecondsPerMB * megabytes));
            limit(RLIMIT_AS, rlim_t(statusKilobytes("VmSize") * 1024 + (2 * kMemoryPerSize + 1) * megabytes * kMB + (512 << 20)));
            alarm(unsigned(60 + 10 * kSecondsPerMB * megabytes));
        }
        const Figures made = convertHere(shape, megabytes * kMB);
        const bool written = write(channel[1], &made, sizeof made) == sizeof made;
        _exit(written ? 0 : 1);
    }
    close(channel[1]);
    const bool read = ::read(channel[0], &figures, sizeof figures) == sizeof figures;
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        death = signal == SIGXCPU ? "over its CPU limit"
            : signal == SIGALRM   ? "over its time limit"
                                  : std::string("killed by ") + strsignal(signal) + " (memory limit?)";
    }
    return read && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<int> sizesFrom(const QString& list)
{
    std::vector<int> sizes;
    for (const QString& item : list.split(u',', Qt::SkipEmptyParts))
        sizes.push_back(item.toInt());
    return sizes;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<int> sizes = {1, 5, 20};
    QString only;
    bool measure = false;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument == QLatin1String("--mb") && i + 1 < argc)
            sizes = sizesFrom(QString::fromLocal8Bit(argv[++i]));
        else if (argument == QLatin1String("--shape") && i + 1 < argc)
            only = QString::fromLocal8Bit(argv[++i]);
        else if (argument == QLatin1String("--measure"))
            measure = true;
        else {
            std::fprintf(stderr, "usage: message_size_check [--mb 1,5,20] [--shape TEXT] [--measure]\n");
            return 2;
        }
    }
    // Once here, so that no child counts the library's own set-up.
    messageFromBytes("Subject: warm-up\r\n\r\nbody\r\n", QDateTime());

    std::printf("%-44s %6s %9s %7s %7s %7s  %s\n", "shape", "MB", "peak+ MB", "x size", "cpu s", "s/MB", "listed as");
    int failures = 0;
    for (const Shape& shape : shapes()) {
        if (!only.isEmpty() && !QString::fromStdString(shape.name).contains(only))
            continue;
        for (const int size : sizes) {
            Figures figures;
            std::string death;
            if (!convertInChild(shape, size, !measure, figures, death)) {
                std::printf("%-44s %6d  FAILED: %s\n", shape.name.c_str(), size,
                            death.empty() ? "the child gave no figures" : death.c_str());
                ++failures;
                continue;
            }
            const double megabytes = double(figures.messageBytes) / kMB;
            const double ratio = double(figures.riseBytes) / (megabytes * kMB);
            const double perMB = figures.cpuSeconds / megabytes;
            const bool broken = !measure && (ratio > kMemoryPerSize || perMB > kSecondsPerMB);
            std::printf("%-44s %6.1f %9.1f %7.1f %7.2f %7.3f  %s%s\n", shape.name.c_str(), megabytes,
                        double(figures.riseBytes) / kMB, ratio, figures.cpuSeconds, perMB,
                        figures.keptAsRawText ? "raw text" : "parsed", broken ? "  OVER THE BOUND" : "");
            std::fflush(stdout);
            failures += broken ? 1 : 0;
        }
    }
    if (!measure)
        std::printf("%s: memory within %.0f times the size, CPU within %.2f s per MB\n",
                    failures == 0 ? "passed" : "FAILED", kMemoryPerSize, kSecondsPerMB);
    return failures == 0 ? 0 : 1;
}

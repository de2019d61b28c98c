#include "support/process_memory.h"

#include <QFile>

namespace tallyhive::testing {
namespace {

qint64 statusKilobytes(const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

}  // namespace

qint64 residentBytes() { return statusKilobytes("VmRSS") * 1024; }

qint64 peakResidentBytes() { return statusKilobytes("VmHWM") * 1024; }

void resetPeakResident()
{
    // "5" resets the peak to the current resident size.
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

}  // namespace tallyhive::testing

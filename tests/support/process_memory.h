#pragma once

#include <QtGlobal>

namespace tallyhive::testing {

// This process's resident memory, from /proc/self/status (Linux).
qint64 residentBytes();
// The highest resident memory since the last resetPeakResident().
qint64 peakResidentBytes();
// Starts a new peak from the memory resident now.
void resetPeakResident();

}  // namespace tallyhive::testing

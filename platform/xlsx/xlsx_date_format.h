#pragma once

#include <QString>

namespace tallyhive::platform {

// The spreadsheet number format that shows a date-time the way the given Qt
// date-time pattern writes it, e.g. "M/d/yyyy h:mm:ss AP" gives
// "m/d/yyyy h:mm:ss AM/PM". Literal text is kept, quoted.
QString excelDateFormat(const QString& qtPattern);

}  // namespace tallyhive::platform

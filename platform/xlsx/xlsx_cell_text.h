#pragma once

#include <QByteArray>
#include <QStringView>

namespace tallyhive::platform {

// What a workbook cell stores for a text, as UTF-8, so that a spreadsheet
// reads back that text. Characters XML cannot carry (U+0000 and the other
// control characters but tab, line feed and carriage return, U+FFFE, U+FFFF
// and half surrogate pairs) become U+FFFD. A literal "_xHHHH_", which a
// spreadsheet would read as an escaped character, gets its "_" escaped.
QByteArray cellUtf8(QStringView text);

// Whether a spreadsheet would take the text, typed in as it stands, for
// something else: a formula or a signed number ("=", "+", "-", "@") or a
// quote-prefixed entry ("'").
bool changesWhenEntered(QStringView text);

}  // namespace tallyhive::platform

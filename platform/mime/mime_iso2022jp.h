#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace tallyhive::platform::mime {

// ISO-2022-JP text rewritten as CP932 (Windows Shift_JIS) bytes. Japanese
// Windows mail programs write the NEC and IBM extension rows (circled digits,
// Roman numerals, "㈱") into ISO-2022-JP, which iconv refuses; CP932 holds
// them, at the places the same arithmetic gives every other character.
QByteArray iso2022JpAsCp932(QByteArrayView bytes);

}  // namespace tallyhive::platform::mime

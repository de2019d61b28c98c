#pragma once

#include <QByteArrayView>

namespace tallyhive::platform::mime {

// Whether GMime can parse these bytes in time and memory proportional to
// their size. GMime holds about a kilobyte and a half for every part, five
// for every attached message, half a kilobyte for every header and a third
// for every address or parameter in one; and it compares every line that
// starts with "--" with the boundary of each multipart the line lies in. A
// message of tiny parts, headers or addresses takes over a hundred times its
// size, one nesting a thousand multiparts seconds per megabyte.
//
// One pass over the bytes that reads no boundary and no header's meaning:
// it counts what GMime could make of each line wherever it could make it,
// so that no way of writing a boundary, a header or a nesting makes it
// count less than GMime then builds. It may refuse a message GMime would
// have read cheaply, never the other way round.
bool parsesWithinBudget(QByteArrayView bytes);

}  // namespace tallyhive::platform::mime

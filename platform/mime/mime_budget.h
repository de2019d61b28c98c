#pragma once

#include <QByteArrayView>

namespace tallyhive::platform::mime {

// Whether GMime can parse these bytes in time and memory proportional to
// their size. Its parser compares every line with the boundary of each
// multipart the line lies in, and holds about two kilobytes per part: a
// message nesting thousands of multiparts takes time growing with the square
// of its size, one of tens of thousands of tiny parts a hundred times its size
// in memory. One pass over the bytes, parsing nothing; it may refuse a message
// GMime would have read cheaply, never the other way round.
bool parsesWithinBudget(QByteArrayView bytes);

}  // namespace tallyhive::platform::mime

#pragma once

#include <gmime/gmime.h>

namespace tallyhive::platform::mime {

// The parser options every message is read with. The first call sets GMime up
// (its charset tables too), safely from any thread; every GMime use goes
// through here first. The options are only read afterwards.
GMimeParserOptions* parserOptions();

// glibc unloads a charset's converter once none of its kind is open, and
// loads it from disk again for the next one: for GMime's header decoding and
// ours, that cost more per message than parsing it. One converter of each
// charset named is kept open, so the next opens in memory.
void keepConverterLoaded(const char* charset);

}  // namespace tallyhive::platform::mime

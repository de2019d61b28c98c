#pragma once

#include <gmime/gmime.h>

namespace tallyhive::platform::mime {

// The parser options every message is read with. The first call sets GMime up
// (its charset tables too), safely from any thread; every GMime use goes
// through here first. The options are only read afterwards.
GMimeParserOptions* parserOptions();

}  // namespace tallyhive::platform::mime

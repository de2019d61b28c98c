#pragma once

#include <gmime/gmime.h>

#include <QByteArray>

namespace tallyhive::platform::mime {

// The value of the object's first header of that name as it stands in bytes,
// the message GMime parsed, folds included; empty when there is none. GMime's
// own copy is a C string and ends at a NUL byte.
QByteArray rawHeaderValue(const QByteArray& bytes, GMimeObject* object, const char* name);

}  // namespace tallyhive::platform::mime

#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace tallyhive::platform::mime {

// The bytes of base64 text as mail readers take them: characters outside the
// alphabet (line breaks, stray punctuation) are skipped, padding after part of
// a group ends the data, and a last group that lacks its padding still gives
// its bytes (GMime drops them).
QByteArray decodeBase64(QByteArrayView text);

}  // namespace tallyhive::platform::mime

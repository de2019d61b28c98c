#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Header values with RFC 2047 encoded words. Mail programs fold one text into
// several words and may cut a multibyte character between two of them, so the
// bytes of adjacent words in one charset (only whitespace between them) are
// joined before they become text, through decodeCharset and its fallbacks.
namespace tallyhive::platform::mime {

// The text of an unstructured header value (folds included, as it stands in
// the message): encoded words decoded, raw 8-bit bytes read as UTF-8 or
// windows-1252, every other byte kept (NUL too). Not trimmed.
QString decodeHeaderText(QByteArrayView value);

// The same value for GMime's structured parsers (addresses): each run of
// adjacent encoded words becomes one UTF-8 word holding its decoded text, so
// GMime never has to join words itself. Folds and NUL bytes, which end GMime's
// C strings, are removed or become U+FFFD.
QByteArray withUtf8EncodedWords(QByteArrayView value);

}  // namespace tallyhive::platform::mime

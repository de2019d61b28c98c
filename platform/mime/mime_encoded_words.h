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
// the message): encoded words decoded, raw 8-bit bytes read by
// decodeRawHeaderBytes with the message's charset (nullptr: none named),
// every other byte kept (NUL too). Not trimmed.
QString decodeHeaderText(QByteArrayView value, const char* messageCharset = nullptr);

// The same value for GMime's structured parsers (addresses), all in UTF-8:
// each run of adjacent encoded words becomes one UTF-8 word holding its
// decoded text, so GMime never has to join words itself, and raw 8-bit bytes
// become UTF-8 as decodeHeaderText reads them. Folds and NUL bytes, which end
// GMime's C strings, are removed or become U+FFFD.
QByteArray withUtf8EncodedWords(QByteArrayView value, const char* messageCharset = nullptr);

}  // namespace tallyhive::platform::mime

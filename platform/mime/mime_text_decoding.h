#pragma once

#include <QByteArrayView>
#include <QString>

// Turning the bytes of a message's text into Unicode. Every function here is
// total: bytes that do not fit the charset they claim still give a readable
// text rather than an error, because a row must never be lost over one body.
namespace tallyhive::platform::mime {

// Decodes text in the named MIME charset. A text in its charset with a few bad
// bytes keeps its text (U+FFFD for each bad byte); an unknown, missing or wrong
// charset falls back to decodeBestEffort.
QString decodeCharset(QByteArrayView bytes, const char* charset);

// Whether a text in this charset can be cut after any "\n" byte and each
// piece decoded alone: true for every charset that writes ASCII as ASCII.
bool canDecodeInPieces(const char* charset);

// Decodes as decodeCharset, with withUnixLineBreaks, in pieces cut after a
// line end, last piece first, giving back the bytes as their text is made:
// a text of hundreds of megabytes never needs its bytes and its text whole
// at once. Each piece falls back on its own, so a few bad bytes change the
// reading of their piece only.
QString decodeCharsetInPieces(QByteArray bytes, const char* charset);

// UTF-8, where bytes that are not UTF-8 are each read as windows-1252: text in
// windows-1252 (or Latin-1) reads right, and so does UTF-8 text with a few
// stray bytes pasted into it.
QString decodeBestEffort(QByteArrayView bytes);

// Raw 8-bit bytes in a header: UTF-8 when they are, else in the charset the
// message's text names (a Russian or Japanese mail program writes its
// subject in the body's charset), else as decodeBestEffort.
QString decodeRawHeaderBytes(QByteArrayView bytes, const char* messageCharset);

// Every byte maps to one character, as browsers read windows-1252: the five
// bytes the code page leaves undefined become the C1 controls of the same value.
QString decodeWindows1252(QByteArrayView bytes);

// Bodies use "\n" alone for a line break: CRLF and a lone CR both become "\n".
// One form throughout keeps character counts (the export cuts bodies into
// fixed-length pieces) the same whatever the sender's mail program wrote.
QString withUnixLineBreaks(QString text);

}  // namespace tallyhive::platform::mime

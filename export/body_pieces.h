#pragma once

#include <QString>
#include <QStringView>

// How an email body is cut over the cells of its sheet row: a remaining body
// of at most BodyLimit characters fills one cell, a longer one gives up a
// piece of PieceLength and the rest goes on in the next column.
namespace tallyhive::body_pieces {

inline constexpr qsizetype BodyLimit = 1023;
inline constexpr qsizetype PieceLength = 1022;

// The length of the piece cut from a remaining body longer than BodyLimit.
// One less than PieceLength when the cut would fall inside a surrogate pair,
// because half a character cannot be stored in a cell and would be lost.
qsizetype nextPieceLength(QStringView remaining);

// The text written for a piece: a leading "'" when it begins with "=", so the
// spreadsheet takes it as text and not as a formula.
QString cellText(QStringView piece);

// How many cells the body takes, the first one included (an empty body takes one).
qsizetype cellCount(QStringView body);

}  // namespace tallyhive::body_pieces

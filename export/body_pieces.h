#pragma once

#include <QStringView>

#include <vector>

// How an email body is cut over the cells of its sheet row: a remaining body
// of at most BodyLimit characters fills one cell, a longer one gives up a
// piece of PieceLength and the rest goes on in the next column.
namespace tallyhive::body_pieces {

inline constexpr qsizetype BodyLimit = 1023;
inline constexpr qsizetype PieceLength = 1022;

// One cell's share of a body.
struct Piece {
    qsizetype start = 0;
    qsizetype length = 0;
};

// The pieces of a body in column order; an empty body gives one empty piece.
// A cut never falls inside a surrogate pair: half a character cannot be
// stored in a cell and would be lost, so such a piece is one shorter.
std::vector<Piece> cut(QStringView body);

// The most pieces a body of that length can give.
qsizetype mostPieces(qsizetype length);

// A piece beginning with "=" is entered quoted, so the spreadsheet takes it
// as text and not as a formula.
bool needsQuote(QStringView piece);

}  // namespace tallyhive::body_pieces

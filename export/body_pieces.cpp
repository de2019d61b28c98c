#include "export/body_pieces.h"

namespace tallyhive::body_pieces {

std::vector<Piece> cut(QStringView body)
{
    std::vector<Piece> pieces;
    qsizetype start = 0;
    while (body.size() - start > BodyLimit) {
        qsizetype length = PieceLength;
        if (body.at(start + length - 1).isHighSurrogate() && body.at(start + length).isLowSurrogate())
            --length;
        pieces.push_back({start, length});
        start += length;
    }
    pieces.push_back({start, body.size() - start});
    return pieces;
}

qsizetype mostPieces(qsizetype length)
{
    // Every piece but the last holds at least PieceLength - 1 characters.
    return length <= BodyLimit ? 1 : 1 + (length - 1) / (PieceLength - 1);
}

bool needsQuote(QStringView piece) { return piece.startsWith(u'='); }

}  // namespace tallyhive::body_pieces

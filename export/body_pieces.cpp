#include "export/body_pieces.h"

namespace tallyhive::body_pieces {

qsizetype nextPieceLength(QStringView remaining)
{
    if (remaining.size() > PieceLength && remaining.at(PieceLength - 1).isHighSurrogate()
        && remaining.at(PieceLength).isLowSurrogate())
        return PieceLength - 1;
    return PieceLength;
}

QString cellText(QStringView piece)
{
    if (piece.startsWith(u'='))
        return QLatin1Char('\'') + piece.toString();
    return piece.toString();
}

qsizetype cellCount(QStringView body)
{
    qsizetype cells = 1;
    while (body.size() > BodyLimit) {
        body = body.mid(nextPieceLength(body));
        ++cells;
    }
    return cells;
}

}  // namespace tallyhive::body_pieces

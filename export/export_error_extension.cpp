#include "export/export_error_extension.h"

#include "app/texts.h"
#include "export/body_pieces.h"

namespace tallyhive {

QString exportErrorExtension(const QString& subject, const QString& body)
{
    return QStringLiteral("\r") + texts::ExportSubject + subject + QStringLiteral("\r\r") + texts::ExportBodyStart
        + body.left(body_pieces::PieceLength) + QStringLiteral("\r") + texts::ExportBodyWhole + body;
}

}  // namespace tallyhive

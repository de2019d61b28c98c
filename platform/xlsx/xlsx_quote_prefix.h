#pragma once

#include <QByteArray>
#include <QString>

namespace tallyhive::platform {

// libxlsxwriter 1.1.4 has no quote-prefix format property, so the finished
// workbook's styles are edited instead: cell format xfIndex gains
// quotePrefix="1", which keeps its cells text when the user edits them.
void markQuotePrefixed(const QString& workbookPath, int xfIndex);

// The styles part with that one change. Throws AppError when the format is missing.
QByteArray withQuotePrefix(const QByteArray& stylesXml, int xfIndex);

}  // namespace tallyhive::platform

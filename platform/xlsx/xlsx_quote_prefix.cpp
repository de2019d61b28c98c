#include "platform/xlsx/xlsx_quote_prefix.h"

#include "app/texts.h"
#include "platform/error.h"
#include "platform/xlsx/xlsx_zip_entry.h"

namespace tallyhive::platform {

QByteArray withQuotePrefix(const QByteArray& stylesXml, int xfIndex)
{
    const qsizetype listStart = stylesXml.indexOf("<cellXfs");
    const qsizetype listEnd = stylesXml.indexOf("</cellXfs>", listStart);
    qsizetype at = listStart;
    for (int index = 0; at >= 0 && index <= xfIndex; ++index) {
        at = stylesXml.indexOf("<xf ", at + 1);
        if (at > listEnd)
            at = -1;
    }
    if (listStart < 0 || listEnd < 0 || at < 0)
        throw AppError(texts::WorkbookStyleMissing.arg(xfIndex));
    QByteArray patched = stylesXml;
    patched.insert(at + 3, " quotePrefix=\"1\"");
    return patched;
}

void markQuotePrefixed(const QString& workbookPath, int xfIndex)
{
    editZipEntry(workbookPath, "xl/styles.xml",
                 [xfIndex](const QByteArray& styles) { return withQuotePrefix(styles, xfIndex); });
}

}  // namespace tallyhive::platform

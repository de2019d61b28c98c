#include "platform/mime/mime_audit_fields.h"

#include "platform/mime/mime_encoded_words.h"
#include "platform/mime/mime_raw_header.h"

#include <QStringList>

namespace tallyhive::platform::mime {
namespace {

// The name a part gives its file: the disposition's, else the older name
// parameter of its type; GMime has undone RFC 2231 already.
QString fileNameOf(GMimeObject* object, const char* messageCharset)
{
    const char* name = g_mime_object_get_content_disposition_parameter(object, "filename");
    if (name == nullptr || *name == '\0')
        name = g_mime_object_get_content_type_parameter(object, "name");
    if (name == nullptr)
        return {};
    // Encoded words are not allowed in parameters, and are common there all the same.
    return decodeHeaderText(QByteArrayView(name), messageCharset).trimmed();
}

// In reading order, into attached messages too: a file forwarded inside a
// message is still a file that went with this one.
void collectFileNames(GMimeObject* object, const char* messageCharset, QStringList& names)
{
    if (object == nullptr)
        return;
    if (const QString name = fileNameOf(object, messageCharset); !name.isEmpty())
        names << name;
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i)
            collectFileNames(g_mime_multipart_get_part(multipart, i), messageCharset, names);
    } else if (GMIME_IS_MESSAGE_PART(object)) {
        if (GMimeMessage* attached = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object)))
            collectFileNames(g_mime_message_get_mime_part(attached), messageCharset, names);
    }
}

}  // namespace

void readAuditFields(const QByteArray& bytes, GMimeMessage* message, const char* messageCharset, EmailRecord& result)
{
    GMimeObject* headers = GMIME_OBJECT(message);
    result.to = decodeHeaderText(rawHeaderValue(bytes, headers, "To"), messageCharset).trimmed();
    result.cc = decodeHeaderText(rawHeaderValue(bytes, headers, "Cc"), messageCharset).trimmed();
    result.messageId = QString::fromUtf8(rawHeaderValue(bytes, headers, "Message-ID")).simplified();
    QStringList names;
    collectFileNames(g_mime_message_get_mime_part(message), messageCharset, names);
    result.attachments = names.join(QStringLiteral("; "));
}

}  // namespace tallyhive::platform::mime

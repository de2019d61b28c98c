#include "platform/mime_body_parts.h"

#include "platform/mime_gobject.h"
#include "platform/mime_text_decoding.h"

namespace tallyhive::platform::mime {
namespace {

enum class TextKind { Other, Plain, Html };

// GMime reads a Content-Type it cannot parse as application/octet-stream.
bool hasUnreadableType(GMimeObject* object)
{
    const char* header = g_mime_object_get_header(object, "Content-Type");
    if (header == nullptr)
        return false;
    QByteArray mediaType(header);
    if (const qsizetype parameters = mediaType.indexOf(';'); parameters >= 0)
        mediaType.truncate(parameters);
    mediaType.removeIf([](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
    return mediaType.compare("application/octet-stream", Qt::CaseInsensitive) != 0;
}

TextKind textKind(GMimeObject* object)
{
    GMimeContentType* type = g_mime_object_get_content_type(object);
    if (g_mime_content_type_is_type(type, "text", "plain"))
        return TextKind::Plain;
    if (g_mime_content_type_is_type(type, "text", "html"))
        return TextKind::Html;
    if (g_mime_content_type_is_type(type, "application", "octet-stream") && hasUnreadableType(object))
        return TextKind::Plain;
    return TextKind::Other;
}

bool isAttachment(GMimeObject* object)
{
    GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(object);
    return disposition != nullptr && g_mime_content_disposition_is_attachment(disposition);
}

// A file name without a disposition: an attachment to some mail programs, the
// body to others.
bool onlyNamesAFile(GMimeObject* object)
{
    return g_mime_object_get_content_disposition(object) == nullptr && g_mime_part_get_filename(GMIME_PART(object));
}

struct Candidates {
    BodyParts unnamed;
    BodyParts named;
    bool complete() const { return unnamed.plain != nullptr && unnamed.html != nullptr; }
};

void keepFirst(GMimePart*& slot, GMimePart* part)
{
    if (slot == nullptr)
        slot = part;
}

// Depth-first, so the first text of each kind in reading order wins.
void collect(GMimeObject* object, Candidates& found)
{
    if (found.complete() || isAttachment(object))
        return;
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i)
            collect(g_mime_multipart_get_part(multipart, i), found);
        return;
    }
    if (!GMIME_IS_PART(object))
        return;
    const TextKind kind = textKind(object);
    if (kind == TextKind::Other)
        return;
    BodyParts& slots = onlyNamesAFile(object) ? found.named : found.unnamed;
    keepFirst(kind == TextKind::Plain ? slots.plain : slots.html, GMIME_PART(object));
}

}  // namespace

BodyParts findBodyParts(GMimeMessage* message)
{
    Candidates found;
    if (GMimeObject* top = g_mime_message_get_mime_part(message))
        collect(top, found);
    return {found.unnamed.plain ? found.unnamed.plain : found.named.plain,
            found.unnamed.html ? found.unnamed.html : found.named.html};
}

QString bodyText(GMimePart* part)
{
    if (part == nullptr)
        return {};
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (content == nullptr)
        return {};
    GOwned<GMimeStream> decoded(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, decoded.get());
    const GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(decoded.get()));
    const char* charset = g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "charset");
    const QByteArrayView view(reinterpret_cast<const char*>(bytes->data), static_cast<qsizetype>(bytes->len));
    return withUnixLineBreaks(decodeCharset(view, charset));
}

}  // namespace tallyhive::platform::mime

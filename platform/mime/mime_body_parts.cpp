#include "platform/mime/mime_body_parts.h"

#include "platform/mime/mime_base64.h"
#include "platform/mime/mime_gobject.h"
#include "platform/mime/mime_library.h"
#include "platform/mime/mime_text_decoding.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace tallyhive::platform::mime {
namespace {

enum class TextKind { Other, Plain, Html };

// GMime reads a Content-Type it cannot parse as application/octet-stream.
bool hasUnreadableType(GMimeObject* object)
{
    GMimeContentType* type = g_mime_object_get_content_type(object);
    const char* header = g_mime_object_get_header(object, "Content-Type");
    if (header == nullptr || !g_mime_content_type_is_type(type, "application", "octet-stream"))
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
    if (hasUnreadableType(object))
        return TextKind::Plain;
    return TextKind::Other;
}

bool isAttachment(GMimeObject* object)
{
    GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(object);
    return disposition != nullptr && g_mime_content_disposition_is_attachment(disposition);
}

// The part a multipart/related shows (RFC 2387): the one its start parameter
// names, else its first; nullptr for any other object.
GMimeObject* relatedRoot(GMimeObject* object)
{
    if (!GMIME_IS_MULTIPART(object)
        || !g_mime_content_type_is_type(g_mime_object_get_content_type(object), "multipart", "related"))
        return nullptr;
    GMimeMultipart* related = GMIME_MULTIPART(object);
    if (g_mime_multipart_get_count(related) == 0)
        return nullptr;
    if (const char* start = g_mime_object_get_content_type_parameter(object, "start")) {
        const QByteArray id = QByteArray(start).trimmed().removeIf([](char c) { return c == '<' || c == '>'; });
        for (int i = 0; i < g_mime_multipart_get_count(related); ++i) {
            GMimeObject* part = g_mime_multipart_get_part(related, i);
            if (const char* partId = g_mime_object_get_content_id(part); partId != nullptr && id == partId)
                return part;
        }
    }
    return g_mime_multipart_get_part(related, 0);
}

struct Candidates {
    BodyParts first;
    bool complete() const { return first.plain != nullptr && first.html != nullptr; }
};

void keepFirst(GMimePart*& slot, GMimePart* part)
{
    if (slot == nullptr)
        slot = part;
}

// Depth-first, so the first text of each kind in reading order wins. A part
// that only names a file (name= without a disposition) is text all the same:
// nothing calls it an attachment.
void collect(GMimeObject* object, Candidates& found)
{
    if (found.complete() || isAttachment(object))
        return;
    // The other parts of multipart/related are what its root shows: pictures,
    // style sheets, not bodies.
    if (GMimeObject* root = relatedRoot(object)) {
        collect(root, found);
        return;
    }
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
    keepFirst(kind == TextKind::Plain ? found.first.plain : found.first.html, GMIME_PART(object));
}

}  // namespace

BodyParts findBodyParts(GMimeMessage* message)
{
    Candidates found;
    if (GMimeObject* top = g_mime_message_get_mime_part(message))
        collect(top, found);
    return found.first;
}

QByteArray partCharset(GMimePart* part)
{
    if (part == nullptr)
        return {};
    GMimeObject* object = GMIME_OBJECT(part);
    if (const char* charset = g_mime_object_get_content_type_parameter(object, "charset"))
        return charset;
    if (!hasUnreadableType(object))
        return {};
    const char* value = g_mime_object_get_header(object, "Content-Type");
    const char* semicolon = std::strchr(value, ';');
    GOwned<GMimeParamList> list(g_mime_param_list_parse(parserOptions(), semicolon ? semicolon + 1 : value));
    GMimeParam* charset = list ? g_mime_param_list_get_parameter(list.get(), "charset") : nullptr;
    return charset ? QByteArray(g_mime_param_get_value(charset)) : QByteArray();
}

namespace {

// The part's bytes as they stand in the message, read in place rather than
// copied out: a message may be hundreds of megabytes. Nothing when GMime
// holds them elsewhere than in the message's own buffer.
std::optional<QByteArrayView> encodedInPlace(GMimeDataWrapper* content)
{
    GMimeStream* stream = g_mime_data_wrapper_get_stream(content);
    if (stream == nullptr || !GMIME_IS_STREAM_MEM(stream))
        return std::nullopt;
    const GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
    if (array == nullptr)
        return std::nullopt;
    const gint64 end = stream->bound_end < 0 ? gint64(array->len) : std::min<gint64>(stream->bound_end, array->len);
    if (stream->bound_start < 0 || stream->bound_start > end)
        return std::nullopt;
    return QByteArrayView(reinterpret_cast<const char*>(array->data) + stream->bound_start, end - stream->bound_start);
}

// When a message ends with its closing boundary and no line break after it,
// GMime ends the last part between the CR and the LF of the line break that
// belongs to the boundary: with CRLF line ends the text would keep one line
// end more than the same message with LF line ends.
void leaveLineBreakToBoundary(GMimeDataWrapper* content)
{
    GMimeStream* stream = g_mime_data_wrapper_get_stream(content);
    if (stream == nullptr || !GMIME_IS_STREAM_MEM(stream))
        return;
    const GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
    const gint64 end = stream->bound_end;
    if (array == nullptr || end <= stream->bound_start || end >= gint64(array->len))
        return;
    if (array->data[end - 1] == '\r' && array->data[end] == '\n')
        g_mime_stream_set_bounds(stream, stream->bound_start, end - 1);
}

bool storedAsIs(GMimeContentEncoding encoding)
{
    return encoding == GMIME_CONTENT_ENCODING_DEFAULT || encoding == GMIME_CONTENT_ENCODING_7BIT
        || encoding == GMIME_CONTENT_ENCODING_8BIT || encoding == GMIME_CONTENT_ENCODING_BINARY;
}

// The part's content with its transfer encoding undone.
QByteArray decodedContent(GMimeDataWrapper* content, GMimeContentEncoding encoding)
{
    GMimeStream* encoded = g_mime_data_wrapper_get_stream(content);
    // Base64 is decoded here: GMime drops the last bytes when the padding is missing.
    if (encoding == GMIME_CONTENT_ENCODING_BASE64) {
        if (const auto bytes = encodedInPlace(content))
            return decodeBase64(*bytes);
        GOwned<GMimeStream> copy(g_mime_stream_mem_new());
        g_mime_stream_reset(encoded);
        g_mime_stream_write_to_stream(encoded, copy.get());
        const GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(copy.get()));
        return decodeBase64(QByteArrayView(reinterpret_cast<const char*>(array->data), static_cast<qsizetype>(array->len)));
    }
    // Sized once: decoding never makes the text longer, and growing by
    // doubling would hold up to one and a half copies of a large body.
    const gint64 length = encoded ? g_mime_stream_length(encoded) : -1;
    GOwned<GMimeStream> decoded(
        g_mime_stream_mem_new_with_byte_array(g_byte_array_sized_new(static_cast<guint>(std::max<gint64>(length, 0)))));
    g_mime_data_wrapper_write_to_stream(content, decoded.get());
    const GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(decoded.get()));
    return QByteArray(reinterpret_cast<const char*>(array->data), static_cast<qsizetype>(array->len));
}

}  // namespace

PendingText startBodyText(GMimePart* part)
{
    // Parts up to this size become text at once, read where they lie.
    constexpr gint64 kLargePart = 8 * 1024 * 1024;
    PendingText pending;
    if (part == nullptr)
        return pending;
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (content == nullptr)
        return pending;
    leaveLineBreakToBoundary(content);
    pending.charset = partCharset(part);
    const char* name = charsetName(pending.charset);
    const GMimeContentEncoding encoding = g_mime_data_wrapper_get_encoding(content);
    const auto inPlace = storedAsIs(encoding) ? encodedInPlace(content) : std::nullopt;
    GMimeStream* stream = g_mime_data_wrapper_get_stream(content);
    const gint64 size = inPlace ? inPlace->size() : stream ? g_mime_stream_length(stream) : 0;
    if (size > kLargePart && canDecodeInPieces(name))
        pending.largeBytes = inPlace ? inPlace->toByteArray() : decodedContent(content, encoding);
    else if (inPlace)
        pending.text = withUnixLineBreaks(decodeCharset(*inPlace, name));
    else
        pending.text = withUnixLineBreaks(decodeCharset(decodedContent(content, encoding), name));
    return pending;
}

QString finishBodyText(PendingText pending)
{
    if (pending.largeBytes.isEmpty())
        return std::move(pending.text);
    return decodeCharsetInPieces(std::move(pending.largeBytes), charsetName(pending.charset));
}

}  // namespace tallyhive::platform::mime

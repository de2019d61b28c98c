#include "platform/mime/mime_message.h"

#include "platform/mime/mime_library.h"
#include "platform/mime/mime_text_decoding.h"

#include <QRegularExpression>

#include <algorithm>
#include <memory>

namespace tallyhive::platform {
namespace {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GOwned = std::unique_ptr<T, GObjectUnref>;

GOwned<GMimeMessage> parse(const QByteArray& raw)
{
    // First, so that the library is set up before any of its objects is made.
    GMimeParserOptions* options = mime::parserOptions();
    GOwned<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(raw.constData(), static_cast<size_t>(raw.size())));
    GOwned<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
    return GOwned<GMimeMessage>(g_mime_parser_construct_message(parser.get(), options));
}

gint64 lastHeaderOffset(GMimeObject* object)
{
    GMimeHeaderList* headers = g_mime_object_get_header_list(object);
    gint64 last = -1;
    for (int i = 0; i < g_mime_header_list_get_count(headers); ++i)
        last = std::max(last, g_mime_header_get_offset(g_mime_header_list_get_header_at(headers, i)));
    return last;
}

// Where the text starts that follows the header block without the blank line
// between them, or -1. GMime ends the headers at the first line that is not a
// header but drops that line and all after it, which would lose the body.
qsizetype unseparatedBodyStart(const QByteArray& raw, GMimeMessage* message)
{
    // GMime files the Content-* headers under the top-level part, the rest under the message.
    gint64 lastHeader = lastHeaderOffset(GMIME_OBJECT(message));
    if (GMimeObject* top = g_mime_message_get_mime_part(message))
        lastHeader = std::max(lastHeader, lastHeaderOffset(top));
    if (lastHeader < 0 || lastHeader >= raw.size())
        return -1;

    qsizetype position = static_cast<qsizetype>(lastHeader);
    do {
        position = raw.indexOf('\n', position);
        if (position < 0)
            return -1;
        ++position;
    } while (position < raw.size() && (raw[position] == ' ' || raw[position] == '\t'));

    if (position >= raw.size() || raw[position] == '\n' || QByteArrayView(raw).sliced(position).startsWith("\r\n"))
        return -1;
    return position;
}

QByteArray withSeparatorAt(const QByteArray& raw, qsizetype position)
{
    const bool crlf = position >= 2 && raw[position - 2] == '\r';
    QByteArray repaired;
    repaired.reserve(raw.size() + 2);
    const QByteArrayView bytes(raw);
    repaired.append(bytes.first(position)).append(crlf ? "\r\n" : "\n").append(bytes.sliced(position));
    return repaired;
}

bool isAttachment(GMimeObject* part)
{
    if (GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(part)) {
        if (g_mime_content_disposition_is_attachment(disposition))
            return true;
        const char* value = g_mime_content_disposition_get_disposition(disposition);
        if (value != nullptr && g_ascii_strcasecmp(value, GMIME_DISPOSITION_INLINE) == 0)
            return false;
    }
    return g_mime_part_get_filename(GMIME_PART(part)) != nullptr;
}

struct BodyParts {
    GMimePart* plain = nullptr;
    GMimePart* html = nullptr;
};

// Depth-first, so the first text of each kind in reading order wins. Attached
// messages (message/rfc822) are neither GMime parts nor multiparts: skipped.
void findBodyParts(GMimeObject* object, BodyParts& found)
{
    if (found.plain != nullptr && found.html != nullptr)
        return;
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i)
            findBodyParts(g_mime_multipart_get_part(multipart, i), found);
        return;
    }
    if (!GMIME_IS_PART(object) || isAttachment(object))
        return;
    GMimeContentType* type = g_mime_object_get_content_type(object);
    if (found.plain == nullptr && g_mime_content_type_is_type(type, "text", "plain"))
        found.plain = GMIME_PART(object);
    else if (found.html == nullptr && g_mime_content_type_is_type(type, "text", "html"))
        found.html = GMIME_PART(object);
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
    return mime::withUnixLineBreaks(mime::decodeCharset(view, charset));
}

QString headerText(const char* decodedUtf8)
{
    return QString::fromUtf8(decodedUtf8).trimmed();
}

InternetAddressMailbox* firstMailbox(InternetAddressList* list)
{
    if (list == nullptr)
        return nullptr;
    for (int i = 0; i < internet_address_list_length(list); ++i) {
        InternetAddress* address = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_MAILBOX(address))
            return INTERNET_ADDRESS_MAILBOX(address);
        if (INTERNET_ADDRESS_IS_GROUP(address)) {
            if (InternetAddressMailbox* member = firstMailbox(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address))))
                return member;
        }
    }
    return nullptr;
}

// A From header the address parser gives up on may still name an address.
QString addressIn(const QString& text)
{
    static const QRegularExpression addressLike(QStringLiteral(R"([^\s<>"(),;:]+@[^\s<>"(),;:]+)"));
    return addressLike.match(text).captured();
}

void fillSender(GMimeMessage* message, MailMessage& result)
{
    result.from = headerText(g_mime_object_get_header(GMIME_OBJECT(message), "From"));
    InternetAddressList* senders = g_mime_message_get_from(message);
    if (InternetAddressMailbox* mailbox = firstMailbox(senders)) {
        result.fromName = headerText(internet_address_get_name(INTERNET_ADDRESS(mailbox)));
        result.fromAddress = headerText(internet_address_mailbox_get_addr(mailbox));
        return;
    }
    if (senders != nullptr && internet_address_list_length(senders) > 0)
        result.fromName = headerText(internet_address_get_name(internet_address_list_get_address(senders, 0)));
    result.fromAddress = addressIn(result.from);
}

QDateTime fallbackDate(const QDateTime& internalDate)
{
    return internalDate.isValid() ? internalDate.toLocalTime() : QDateTime::currentDateTime();
}

QDateTime headerDate(GMimeMessage* message, const QDateTime& internalDate)
{
    if (GDateTime* date = g_mime_message_get_date(message))
        return QDateTime::fromSecsSinceEpoch(g_date_time_to_unix(date));
    return fallbackDate(internalDate);
}

MailMessage fromParsed(GMimeMessage* message, const QDateTime& internalDate)
{
    MailMessage result;
    fillSender(message, result);
    result.subject = headerText(g_mime_message_get_subject(message));
    result.date = headerDate(message, internalDate);
    BodyParts bodies;
    if (GMimeObject* top = g_mime_message_get_mime_part(message))
        findBodyParts(top, bodies);
    result.plainText = bodyText(bodies.plain);
    result.htmlText = bodyText(bodies.html);
    return result;
}

MailMessage fromUnparsable(const QByteArray& raw, const QDateTime& internalDate)
{
    MailMessage result;
    result.date = fallbackDate(internalDate);
    result.plainText = mime::withUnixLineBreaks(mime::decodeBestEffort(raw));
    return result;
}

}  // namespace

MailMessage messageFromBytes(const QByteArray& raw, const QDateTime& internalDate)
{
    GOwned<GMimeMessage> message = parse(raw);
    if (!message)
        return fromUnparsable(raw, internalDate);
    if (const qsizetype bodyStart = unseparatedBodyStart(raw, message.get()); bodyStart >= 0) {
        const QByteArray repaired = withSeparatorAt(raw, bodyStart);
        if (GOwned<GMimeMessage> reparsed = parse(repaired))
            return fromParsed(reparsed.get(), internalDate);
    }
    return fromParsed(message.get(), internalDate);
}

}  // namespace tallyhive::platform

#include "platform/mime/mime_message.h"

#include "platform/mime/mime_audit_fields.h"
#include "platform/mime/mime_body_parts.h"
#include "platform/mime/mime_budget.h"
#include "platform/mime/mime_date.h"
#include "platform/mime/mime_encoded_words.h"
#include "platform/mime/mime_gobject.h"
#include "platform/mime/mime_library.h"
#include "platform/mime/mime_raw_header.h"
#include "platform/mime/mime_repairs.h"
#include "platform/mime/mime_sender.h"
#include "platform/mime/mime_text_decoding.h"

#include <variant>

namespace tallyhive::platform {
namespace {

using mime::GOwned;

// A stream over the caller's bytes, read in place rather than copied: a
// message may be hundreds of megabytes. The bytes must outlive every object
// parsed from the stream.
GOwned<GMimeStream> streamOver(const QByteArray& raw)
{
    GOwned<GMimeStream> stream(g_mime_stream_mem_new());
    // Only the public fields: a stream that does not own its array only reads them.
    auto* view = g_new0(GByteArray, 1);
    view->data = reinterpret_cast<guint8*>(const_cast<char*>(raw.constData()));
    view->len = static_cast<guint>(raw.size());
    g_mime_stream_mem_set_byte_array(GMIME_STREAM_MEM(stream.get()), view);
    g_object_set_data_full(G_OBJECT(stream.get()), "tallyhive-view", view, g_free);
    return stream;
}

GOwned<GMimeMessage> parse(const QByteArray& raw)
{
    // First, so that the library is set up before any of its objects is made.
    GMimeParserOptions* options = mime::parserOptions();
    GOwned<GMimeStream> stream = streamOver(raw);
    GOwned<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
    return GOwned<GMimeMessage>(g_mime_parser_construct_message(parser.get(), options));
}

// A message parsed, its values read but for the large body texts, which wait
// until the bytes and the parse are gone.
struct ParsedValues {
    EmailRecord message;
    mime::PendingText plain;
    mime::PendingText html;
};

// bytes: what GMime parsed the message from; its header offsets point there.
ParsedValues fromParsed(const QByteArray& bytes, GMimeMessage* message, const QDateTime& internalDate)
{
    GMimeObject* headers = GMIME_OBJECT(message);
    const mime::BodyParts bodies = mime::findBodyParts(message);
    const QByteArray charset = mime::partCharset(bodies.plain ? bodies.plain : bodies.html);
    const char* messageCharset = mime::charsetName(charset);

    ParsedValues values;
    EmailRecord& result = values.message;
    mime::readSender(mime::rawHeaderValue(bytes, headers, "From"), message, messageCharset, result);
    result.s_Subject = mime::decodeHeaderText(mime::rawHeaderValue(bytes, headers, "Subject"), messageCharset).trimmed();
    result.receivedAt = mime::messageDate(mime::rawHeaderValue(bytes, headers, "Date"), message, internalDate);
    mime::readAuditFields(bytes, message, messageCharset, result);
    values.plain = mime::startBodyText(bodies.plain);
    values.html = mime::startBodyText(bodies.html);
    return values;
}

EmailRecord asRawText(const QByteArray& raw, const QDateTime& internalDate)
{
    EmailRecord result;
    result.receivedAt = mime::fallbackDate(internalDate);
    result.s_PlainText = PackedText(mime::withUnixLineBreaks(mime::decodeBestEffort(raw)));
    return result;
}

// Why a message gets its raw text as its body: GMime could not parse it at
// all (no headers, say), or parsing it would cost more than its size allows.
enum class Refusal { Unparsable, OverBudget };

std::variant<ParsedValues, Refusal> valuesOf(const QByteArray& raw, const QDateTime& internalDate)
{
    const QByteArray bytes = mime::withLoneCarriageReturnsAsLineFeeds(raw);
    if (!mime::parsesWithinBudget(bytes))
        return Refusal::OverBudget;
    GOwned<GMimeMessage> message = parse(bytes);
    if (!message)
        return Refusal::Unparsable;
    // A blank line added can start an attached message's headers: the
    // repaired bytes are held to the budget too, else the parse in hand serves.
    const QByteArray repaired = mime::withMissingBlankLines(bytes, message.get());
    if (repaired.isEmpty() || !mime::parsesWithinBudget(repaired))
        return fromParsed(bytes, message.get(), internalDate);
    message.reset();  // one parse at a time: each holds objects for every part and header
    if (GOwned<GMimeMessage> reparsed = parse(repaired))
        return fromParsed(repaired, reparsed.get(), internalDate);
    message = parse(bytes);
    if (!message)
        return Refusal::Unparsable;
    return fromParsed(bytes, message.get(), internalDate);
}

}  // namespace

EmailRecord messageFromBytes(QByteArray raw, const QDateTime& internalDate)
{
    std::variant<ParsedValues, Refusal> parsed = valuesOf(raw, internalDate);
    if (const Refusal* refusal = std::get_if<Refusal>(&parsed)) {
        EmailRecord result = asRawText(raw, internalDate);
        result.keptAsRawText = *refusal == Refusal::OverBudget;
        result.size = raw.size();
        return result;
    }
    ParsedValues& values = std::get<ParsedValues>(parsed);
    values.message.size = raw.size();
    raw = QByteArray();  // gone before the large texts are made, when the caller let go of it too
    QString plain = mime::finishBodyText(std::move(values.plain));
    values.message.s_PlainText = PackedText(plain);
    // The HTML body is packed beside the plain text's start alone; the rest goes first.
    if (plain.size() > PackedText::kRelatedStart + 1)
        plain = plain.left(PackedText::kRelatedStart + 1);
    // Nothing reads the HTML body again once it is kept.
    values.message.s_HTMLText = PackedText(mime::finishBodyText(std::move(values.html)), values.message.s_PlainText, plain);
    return std::move(values.message);
}

}  // namespace tallyhive::platform

#include "platform/mime/mime_message.h"

#include "platform/mime/mime_body_parts.h"
#include "platform/mime/mime_encoded_words.h"
#include "platform/mime/mime_gobject.h"
#include "platform/mime/mime_library.h"
#include "platform/mime/mime_repairs.h"
#include "platform/mime/mime_text_decoding.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstring>

namespace tallyhive::platform {
namespace {

using mime::GOwned;

GOwned<GMimeMessage> parse(const QByteArray& raw)
{
    // First, so that the library is set up before any of its objects is made.
    GMimeParserOptions* options = mime::parserOptions();
    GOwned<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(raw.constData(), static_cast<size_t>(raw.size())));
    GOwned<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
    return GOwned<GMimeMessage>(g_mime_parser_construct_message(parser.get(), options));
}

// A message as GMime read it, with the bytes it read it from: header offsets
// point into them.
struct Parsed {
    QByteArray bytes;
    GOwned<GMimeMessage> message;
};

// The value of the first header of that name as it stands in the message,
// folds included. GMime's own copy is a C string and ends at a NUL byte.
QByteArray rawHeaderValue(const Parsed& parsed, const char* name)
{
    GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(parsed.message.get()));
    GMimeHeader* header = g_mime_header_list_get_header(headers, name);
    if (header == nullptr)
        return {};
    const char* gmimeValue = g_mime_header_get_raw_value(header);
    const QByteArray& bytes = parsed.bytes;
    const gint64 offset = g_mime_header_get_offset(header);
    const qsizetype colon = offset >= 0 && offset < bytes.size() ? bytes.indexOf(':', offset) : -1;
    if (colon < 0 || !QByteArrayView(bytes).sliced(colon + 1).startsWith(gmimeValue))
        return gmimeValue;
    qsizetype end = colon;
    do {
        end = bytes.indexOf('\n', end + 1);
    } while (end >= 0 && end + 1 < bytes.size() && (bytes[end + 1] == ' ' || bytes[end + 1] == '\t'));
    if (end < 0)
        end = bytes.size();
    return bytes.sliced(colon + 1, end - colon - 1);
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

bool hasEightBitBytes(QByteArrayView bytes)
{
    return std::any_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) != 0; });
}

void fillSender(const Parsed& parsed, const char* messageCharset, MailMessage& result)
{
    const QByteArray raw = rawHeaderValue(parsed, "From");
    result.from = mime::decodeHeaderText(raw, messageCharset).trimmed();
    // GMime's own reading of the header is right unless it had to join encoded
    // words, met a NUL byte or guessed the charset of raw 8-bit bytes.
    GOwned<InternetAddressList> reparsed;
    if (raw.contains("=?") || raw.contains('\0') || hasEightBitBytes(raw)) {
        reparsed.reset(internet_address_list_parse(mime::parserOptions(),
                                                   mime::withUtf8EncodedWords(raw, messageCharset).constData()));
    }
    InternetAddressList* senders = reparsed ? reparsed.get() : g_mime_message_get_from(parsed.message.get());
    if (InternetAddressMailbox* mailbox = firstMailbox(senders)) {
        result.fromName = headerText(internet_address_get_name(INTERNET_ADDRESS(mailbox)));
        // A lone encoded word is a name without an address; GMime takes it for
        // the address and leaves it encoded.
        const char* address = internet_address_mailbox_get_addr(mailbox);
        result.fromAddress = std::strstr(address, "=?") != nullptr ? mime::decodeHeaderText(address).trimmed()
                                                                    : headerText(address);
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

// GMime reads a time written with dots ("10.30.00", from some mail programs)
// as midnight; with colons it reads it right.
QByteArray withColonsInTime(const QByteArray& date)
{
    static const QRegularExpression dottedTime(QStringLiteral(R"(\b(\d{1,2})\.(\d{2})(?:\.(\d{2}))?\b)"));
    QString text = QString::fromLatin1(date);
    const QRegularExpressionMatch match = dottedTime.match(text);
    if (!match.hasMatch())
        return {};
    QString time = match.captured(1) + u':' + match.captured(2);
    if (match.hasCaptured(3))
        time += u':' + match.captured(3);
    return text.replace(match.capturedStart(), match.capturedLength(), time).toLatin1();
}

QDateTime headerDate(const Parsed& parsed, const QDateTime& internalDate)
{
    if (const QByteArray raw = rawHeaderValue(parsed, "Date"); raw.contains('.')) {
        if (const QByteArray fixed = withColonsInTime(raw); !fixed.isEmpty()) {
            if (GDateTime* date = g_mime_utils_header_decode_date(fixed.constData())) {
                const QDateTime result = QDateTime::fromSecsSinceEpoch(g_date_time_to_unix(date));
                g_date_time_unref(date);
                return result;
            }
        }
    }
    if (GDateTime* date = g_mime_message_get_date(parsed.message.get()))
        return QDateTime::fromSecsSinceEpoch(g_date_time_to_unix(date));
    return fallbackDate(internalDate);
}

MailMessage fromParsed(const Parsed& parsed, const QDateTime& internalDate)
{
    MailMessage result;
    const mime::BodyParts bodies = mime::findBodyParts(parsed.message.get());
    const QByteArray charset = mime::partCharset(bodies.plain ? bodies.plain : bodies.html);
    const char* messageCharset = charset.isEmpty() ? nullptr : charset.constData();
    fillSender(parsed, messageCharset, result);
    result.subject = mime::decodeHeaderText(rawHeaderValue(parsed, "Subject"), messageCharset).trimmed();
    result.date = headerDate(parsed, internalDate);
    result.plainText = mime::bodyText(bodies.plain);
    result.htmlText = mime::bodyText(bodies.html);
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
    Parsed parsed{mime::withLoneCarriageReturnsAsLineFeeds(raw), nullptr};
    parsed.message = parse(parsed.bytes);
    if (!parsed.message)
        return fromUnparsable(raw, internalDate);
    if (QByteArray repaired = mime::withMissingBlankLines(parsed.bytes, parsed.message.get()); !repaired.isEmpty()) {
        if (GOwned<GMimeMessage> reparsed = parse(repaired))
            return fromParsed(Parsed{std::move(repaired), std::move(reparsed)}, internalDate);
    }
    return fromParsed(parsed, internalDate);
}

}  // namespace tallyhive::platform

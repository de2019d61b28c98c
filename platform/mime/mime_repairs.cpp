#include "platform/mime/mime_repairs.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace tallyhive::platform::mime {
namespace {

gint64 lastHeaderOffset(GMimeObject* object)
{
    GMimeHeaderList* headers = g_mime_object_get_header_list(object);
    gint64 last = -1;
    for (int i = 0; i < g_mime_header_list_get_count(headers); ++i)
        last = std::max(last, g_mime_header_get_offset(g_mime_header_list_get_header_at(headers, i)));
    return last;
}

bool startsWithLineEnd(QByteArrayView text) { return text.startsWith('\n') || text.startsWith("\r\n"); }

// Where the line after the one starting at lineStart starts, past its folded
// continuation lines; -1 at the end of the bytes.
qsizetype nextUnfoldedLine(const QByteArray& raw, qsizetype lineStart)
{
    qsizetype next = lineStart;
    do {
        next = raw.indexOf('\n', next);
        if (next < 0)
            return -1;
        ++next;
    } while (next < raw.size() && (raw[next] == ' ' || raw[next] == '\t'));
    return next;
}

// Where the text starts that follows the header at lastHeader without a blank
// line between them, or -1.
qsizetype unseparatedTextStart(const QByteArray& raw, gint64 lastHeader)
{
    if (lastHeader < 0 || lastHeader >= raw.size())
        return -1;
    const qsizetype position = nextUnfoldedLine(raw, static_cast<qsizetype>(lastHeader));
    if (position < 0 || position >= raw.size() || startsWithLineEnd(QByteArrayView(raw).sliced(position)))
        return -1;
    return position;
}

bool startsWithHeaderField(QByteArrayView line)
{
    qsizetype nameEnd = 0;
    while (nameEnd < line.size() && line[nameEnd] > ' ' && line[nameEnd] < 127 && line[nameEnd] != ':')
        ++nameEnd;
    qsizetype colon = nameEnd;
    while (colon < line.size() && (line[colon] == ' ' || line[colon] == '\t'))
        ++colon;
    return nameEnd > 0 && colon < line.size() && line[colon] == ':';
}

// A part whose text follows its boundary line directly, with no headers or
// with headers and no blank line, can be lost whole: GMime then does not list
// it, and its headers are not there to tell where they end. Where the text
// starts after each "--boundary" line of the multipart that runs on without
// a blank line.
void collectRunInParts(const QByteArray& raw, GMimeMultipart* multipart, std::vector<qsizetype>& positions)
{
    // Read, never made: asking GMime for a missing boundary makes one and
    // writes the whole Content-Type back, whatever its parameters hold.
    const char* boundary = g_mime_object_get_content_type_parameter(GMIME_OBJECT(multipart), "boundary");
    if (boundary == nullptr || *boundary == '\0')
        return;
    const QByteArray delimiter = QByteArray("--") + boundary;
    // Line by line rather than searching for the delimiter: a search for a
    // long boundary of one repeated byte takes the square of the message's size.
    for (qsizetype at = 0, lineEnd = raw.indexOf('\n'); lineEnd >= 0; at = lineEnd + 1, lineEnd = raw.indexOf('\n', at)) {
        const QByteArrayView line = QByteArrayView(raw).sliced(at, lineEnd - at);
        if (!line.startsWith(delimiter) || line.sliced(delimiter.size()).startsWith("--"))
            continue;
        qsizetype text = lineEnd + 1;
        while (text >= 0 && text < raw.size() && startsWithHeaderField(QByteArrayView(raw).sliced(text)))
            text = nextUnfoldedLine(raw, text);
        if (text < 0 || text >= raw.size())
            continue;
        const QByteArrayView next = QByteArrayView(raw).sliced(text);
        if (startsWithLineEnd(next) || next.startsWith(delimiter))
            continue;
        positions.push_back(text);
    }
}

struct Collected {
    std::vector<qsizetype> positions;
    std::size_t boundarySearches = 0;
};

// precedingLast: the last header offset of a block this object's headers
// continue (GMime files a message's Content-* headers under its top part).
void collectUnseparated(const QByteArray& raw, GMimeObject* object, gint64 precedingLast, Collected& found)
{
    const gint64 last = std::max(precedingLast, lastHeaderOffset(object));
    if (GMIME_IS_MESSAGE(object)) {
        if (GMimeObject* top = g_mime_message_get_mime_part(GMIME_MESSAGE(object))) {
            collectUnseparated(raw, top, last, found);
            return;
        }
    }
    if (const qsizetype position = unseparatedTextStart(raw, last); position >= 0)
        found.positions.push_back(position);
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        // GMime loses such parts when a multipart is left with none, or when
        // the message ends right after its closing boundary, with no line
        // break. Each search reads the whole message: a few are enough for
        // real mail and keep hostile nests of multiparts cheap.
        constexpr std::size_t searchedAtMost = 8;
        const bool partsMayBeLost = g_mime_multipart_get_count(multipart) == 0 || !raw.endsWith('\n');
        if (partsMayBeLost && found.boundarySearches < searchedAtMost) {
            ++found.boundarySearches;
            collectRunInParts(raw, multipart, found.positions);
        }
        for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i)
            collectUnseparated(raw, g_mime_multipart_get_part(multipart, i), -1, found);
    } else if (GMIME_IS_MESSAGE_PART(object)) {
        if (GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object)))
            collectUnseparated(raw, GMIME_OBJECT(inner), -1, found);
    }
}

}  // namespace

QByteArray withLoneCarriageReturnsAsLineFeeds(const QByteArray& raw)
{
    const char* begin = raw.constData();
    const char* end = begin + raw.size();
    // CR CR LF is one line end of text converted twice, not two lines.
    const auto isLone = [end](const char* cr) {
        const qsizetype left = end - cr;
        return !((left > 1 && cr[1] == '\n') || (left > 2 && cr[1] == '\r' && cr[2] == '\n'));
    };
    const char* firstLineEnd = static_cast<const char*>(std::memchr(begin, '\n', raw.size()));
    const char* firstLone = begin;
    while ((firstLone = static_cast<const char*>(std::memchr(firstLone, '\r', (firstLineEnd ? firstLineEnd : end) - firstLone)))
           && !isLone(firstLone))
        ++firstLone;
    if (firstLone == nullptr)
        return raw;

    QByteArray result = raw;
    char* out = result.data();
    for (const char* cr = firstLone; cr != nullptr; cr = static_cast<const char*>(std::memchr(cr + 1, '\r', end - cr - 1))) {
        if (isLone(cr))
            out[cr - begin] = '\n';
    }
    return result;
}

QByteArray withMissingBlankLines(const QByteArray& raw, GMimeMessage* parsed)
{
    Collected found;
    collectUnseparated(raw, GMIME_OBJECT(parsed), -1, found);
    std::vector<qsizetype>& positions = found.positions;
    if (positions.empty())
        return {};
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());

    QByteArray repaired;
    repaired.reserve(raw.size() + 2 * static_cast<qsizetype>(positions.size()));
    const QByteArrayView bytes(raw);
    qsizetype copied = 0;
    for (const qsizetype position : positions) {
        const bool crlf = position >= 2 && raw[position - 2] == '\r';
        repaired.append(bytes.sliced(copied, position - copied)).append(crlf ? "\r\n" : "\n");
        copied = position;
    }
    repaired.append(bytes.sliced(copied));
    return repaired;
}

}  // namespace tallyhive::platform::mime

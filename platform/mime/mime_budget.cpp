#include "platform/mime/mime_budget.h"

#include <QByteArray>

#include <vector>

namespace tallyhive::platform::mime {
namespace {

// Real mail nests a few multiparts deep and rarely has a hundred parts.
constexpr std::size_t kDeepestNesting = 64;
constexpr qsizetype kPartsAlways = 10000;
constexpr qsizetype kBytesPerExtraPart = 1024;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

QByteArrayView trimmedEnd(QByteArrayView text)
{
    while (!text.isEmpty() && (isBlank(text.back()) || text.back() == '\r'))
        text.chop(1);
    return text;
}

// The value of a Content-Type header line, or nothing (a null view).
QByteArrayView contentTypeValue(QByteArrayView line)
{
    constexpr QByteArrayView name("content-type");
    if (line.size() <= name.size() || QByteArrayView(line.first(name.size())).compare(name, Qt::CaseInsensitive) != 0)
        return {};
    qsizetype colon = name.size();
    while (colon < line.size() && isBlank(line[colon]))
        ++colon;
    if (colon >= line.size() || line[colon] != ':')
        return {};
    return line.sliced(colon + 1);
}

// The boundary parameter as GMime reads it: quoted, or up to the next ";"
// without trailing blanks. Empty when there is none or it is written in a
// form read here as no boundary at all (such a multipart then counts as
// never closed, which can only overstate the nesting).
QByteArray boundaryOf(QByteArrayView value)
{
    constexpr QByteArrayView name("boundary");
    for (qsizetype at = value.indexOf(';'); at >= 0; at = value.indexOf(';', at + 1)) {
        QByteArrayView parameter = value.sliced(at + 1);
        while (!parameter.isEmpty() && (isBlank(parameter.front()) || parameter.front() == '\r' || parameter.front() == '\n'))
            parameter = parameter.sliced(1);
        if (parameter.size() <= name.size() || parameter.first(name.size()).compare(name, Qt::CaseInsensitive) != 0)
            continue;
        parameter = parameter.sliced(name.size());
        while (!parameter.isEmpty() && isBlank(parameter.front()))
            parameter = parameter.sliced(1);
        if (parameter.isEmpty() || parameter.front() != '=')
            continue;
        parameter = parameter.sliced(1);
        while (!parameter.isEmpty() && isBlank(parameter.front()))
            parameter = parameter.sliced(1);
        if (parameter.startsWith('"')) {
            const qsizetype close = parameter.indexOf('"', 1);
            return close < 0 ? QByteArray() : parameter.sliced(1, close - 1).toByteArray();
        }
        const qsizetype end = parameter.indexOf(';');
        return trimmedEnd(end < 0 ? parameter : parameter.first(end)).toByteArray();
    }
    return {};
}

enum class Delimiter { None, Part, Close };

Delimiter delimiterOf(QByteArrayView line, const QByteArray& boundary)
{
    if (boundary.isEmpty() || line.size() < boundary.size() + 2 || !line.sliced(2).startsWith(boundary))
        return Delimiter::None;
    const QByteArrayView rest = trimmedEnd(line.sliced(boundary.size() + 2));
    if (rest.isEmpty())
        return Delimiter::Part;
    return rest == "--" ? Delimiter::Close : Delimiter::None;
}

}  // namespace

bool parsesWithinBudget(QByteArrayView bytes)
{
    const qsizetype partsAllowed = kPartsAlways + bytes.size() / kBytesPerExtraPart;
    qsizetype parts = 0;
    // The boundaries of the multiparts the current line lies in, innermost last.
    std::vector<QByteArray> open;
    qsizetype lineStart = 0;
    while (lineStart < bytes.size()) {
        qsizetype lineEnd = bytes.indexOf('\n', lineStart);
        if (lineEnd < 0)
            lineEnd = bytes.size();
        const QByteArrayView line = bytes.sliced(lineStart, lineEnd - lineStart);
        // Most lines start with neither letter: text and encoded data go by at one look.
        const char first = line.isEmpty() ? '\0' : line.front();
        if ((first | 0x20) == 'c' && !contentTypeValue(line).isNull()) {
            // The header with its folded lines.
            while (lineEnd + 1 < bytes.size() && isBlank(bytes[lineEnd + 1])) {
                lineEnd = bytes.indexOf('\n', lineEnd + 1);
                if (lineEnd < 0)
                    lineEnd = bytes.size();
            }
            const QByteArrayView header = bytes.sliced(lineStart, lineEnd - lineStart);
            if (header.toByteArray().toLower().contains("multipart")) {
                open.push_back(boundaryOf(header));
                if (open.size() > kDeepestNesting)
                    return false;
            }
        } else if (first == '-' && line.startsWith("--")) {
            // A delimiter also ends every multipart inside its own.
            for (std::size_t i = open.size(); i-- > 0;) {
                const Delimiter delimiter = delimiterOf(line, open[i]);
                if (delimiter == Delimiter::None)
                    continue;
                open.resize(delimiter == Delimiter::Close ? i : i + 1);
                if (delimiter == Delimiter::Part && ++parts > partsAllowed)
                    return false;
                break;
            }
        }
        lineStart = lineEnd + 1;
    }
    return true;
}

}  // namespace tallyhive::platform::mime

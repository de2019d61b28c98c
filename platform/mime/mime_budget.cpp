#include "platform/mime/mime_budget.h"

#include <QLatin1String>

#include <algorithm>
#include <array>
#include <cstring>

namespace tallyhive::platform::mime {
namespace {

// What GMime holds, measured on messages made of nothing else, with a margin.
constexpr qint64 kPartBytes = 1536;
constexpr qint64 kMessageBytes = 6144;
constexpr qint64 kHeaderBytes = 640;
// A header's text is held several times over: raw, unfolded, decoded.
constexpr qint64 kHeaderByteBytes = 8;
// An address, a parameter or an encoded word: each begins with or follows
// one of these characters.
constexpr qint64 kItemBytes = 384;
// Counted in every byte of every header, so looked up in a table.
constexpr std::array<bool, 256> kItemCharacters = [] {
    std::array<bool, 256> table{};
    for (const unsigned char c : {',', ';', '@', '<', '?'})
        table[c] = true;
    return table;
}();

qint64 itemCount(QByteArrayView line)
{
    qint64 count = 0;
    for (const char c : line)
        count += kItemCharacters[static_cast<unsigned char>(c)];
    return count;
}

// GMime nests multiparts and messages no deeper.
constexpr qint64 kDeepestNesting = 1024;
// Comparing a line with one boundary costs its bytes and the call around them.
constexpr qint64 kComparisonOverhead = 16;

// Real mail stays far below both: its few hundred headers and dozens of
// parts take a small part of what is always allowed.
constexpr qint64 kMemoryAlways = qint64(4) << 20;
constexpr qint64 kMemoryPerByte = 12;
constexpr qint64 kComparedAlways = qint64(64) << 20;
constexpr qint64 kComparedPerByte = 64;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Where a header line's value starts, past its name, the blanks after it
// and the colon; -1 when GMime takes no header from the line. As GMime
// reads it, the name may be blanks alone, never nothing.
qsizetype fieldNameEnd(QByteArrayView line)
{
    qsizetype at = 0;
    while (at < line.size() && line[at] != ':' && !isBlank(line[at]) && uchar(line[at]) >= 0x20 && line[at] != 0x7f)
        ++at;
    while (at < line.size() && isBlank(line[at]))
        ++at;
    return at > 0 && at < line.size() && line[at] == ':' ? at + 1 : -1;
}

// name: a field's name with the blanks after it.
bool isContentType(QByteArrayView name)
{
    while (!name.isEmpty() && isBlank(name.back()))
        name.chop(1);
    return name.compare(QByteArrayView("content-type"), Qt::CaseInsensitive) == 0;
}

qint64 occurrences(QByteArrayView text, QLatin1String word)
{
    const QLatin1String latin(text.data(), text.size());
    qint64 count = 0;
    for (qsizetype at = latin.indexOf(word, 0, Qt::CaseInsensitive); at >= 0;
         at = latin.indexOf(word, at + word.size(), Qt::CaseInsensitive))
        ++count;
    return count;
}

// Where GMime reads headers: at the start, after each line that may be a
// boundary, and where the headers of an attached message may start. A
// block ends at a blank line, whatever its other lines hold.
struct HeaderBlock {
    bool afterDelimiter = false;
    // The header the last line began or continued is a Content-Type.
    bool inContentType = false;
    // message/rfc822 and its kin hold a message whose headers follow the
    // blank line.
    bool namesMessage = false;
};

class Tally {
public:
    explicit Tally(qsizetype size)
        : memoryAllowed_(kMemoryAlways + kMemoryPerByte * size), comparedAllowed_(kComparedAlways + kComparedPerByte * size)
    {
    }

    bool withinBudget() const { return memory_ <= memoryAllowed_ && compared_ <= comparedAllowed_; }
    bool inHeaders() const { return inHeaders_; }

    void line(QByteArrayView line)
    {
        if (line.startsWith("--"))
            delimiterLine(line);
        if (!inHeaders_)
            return;
        if (line.isEmpty() || line == "\r")
            blankLine();
        else
            headerLine(line);
    }

private:
    // Any such line may be a boundary, however the boundary was written; the
    // multiparts it lies in may be any of those named before it.
    void delimiterLine(QByteArrayView line)
    {
        memory_ += kPartBytes;
        compared_ += std::min(multiparts_, kDeepestNesting) * (line.size() + kComparisonOverhead);
        if (!inHeaders_)
            block_ = {};
        inHeaders_ = true;
        block_.afterDelimiter = true;
    }

    // GMime keeps a header for each line that starts with a field's name,
    // and adds each folded line to the one before; it drops any other line.
    // Only the Content-Type, named as GMime compares names, says what a part
    // is: the type's name is a word, and no way of writing it hides the word.
    void headerLine(QByteArrayView line)
    {
        const bool folded = isBlank(line.front());
        const qsizetype nameEnd = fieldNameEnd(line);
        if (nameEnd < 0 && !folded)
            return;
        const qint64 items = itemCount(line);
        memory_ += (nameEnd < 0 ? 0 : kHeaderBytes) + line.size() * kHeaderByteBytes + items * kItemBytes;
        if (!folded)
            block_.inContentType = isContentType(line.first(nameEnd - 1));
        if (!block_.inContentType)
            return;
        const QByteArrayView value = line.sliced(folded ? 0 : nameEnd);
        multiparts_ += occurrences(value, QLatin1String("multipart"));
        block_.namesMessage = block_.namesMessage || occurrences(value, QLatin1String("message")) > 0;
        digest_ = digest_ || occurrences(value, QLatin1String("digest")) > 0;
    }

    // In a digest, a part whose type GMime cannot read is a message too.
    void blankLine()
    {
        const bool messageFollows = block_.namesMessage || (digest_ && block_.afterDelimiter);
        if (messageFollows)
            memory_ += kMessageBytes;
        inHeaders_ = messageFollows;
        block_ = {};
    }

    const qint64 memoryAllowed_;
    const qint64 comparedAllowed_;
    qint64 memory_ = 0;
    qint64 compared_ = 0;
    bool inHeaders_ = true;
    HeaderBlock block_;
    // Named anywhere before: counted, never matched with their ends, since
    // that would take reading their boundaries.
    qint64 multiparts_ = 0;
    bool digest_ = false;
};

// The start of the first line at or after `from` that begins with "--"; -1 when none does.
qsizetype nextDashedLine(QByteArrayView bytes, qsizetype from)
{
    const char* const data = bytes.data();
    while (from < bytes.size()) {
        const void* dash = std::memchr(data + from, '-', static_cast<size_t>(bytes.size() - from));
        if (!dash)
            return -1;
        const qsizetype at = static_cast<const char*>(dash) - data;
        if ((at == 0 || data[at - 1] == '\n') && at + 1 < bytes.size() && data[at + 1] == '-')
            return at;
        from = at + 1;
    }
    return -1;
}

}  // namespace

bool parsesWithinBudget(QByteArrayView bytes)
{
    Tally tally(bytes.size());
    const char* const data = bytes.data();
    for (qsizetype lineStart = 0; lineStart < bytes.size();) {
        if (!tally.inHeaders()) {
            // Outside headers only a line that begins with "--" counts:
            // found by its dashes, of which base64 has none, rather than
            // line by line through every attachment.
            lineStart = nextDashedLine(bytes, lineStart);
            if (lineStart < 0)
                break;
        }
        const void* lineFeed = std::memchr(data + lineStart, '\n', static_cast<size_t>(bytes.size() - lineStart));
        const qsizetype lineEnd = lineFeed ? static_cast<const char*>(lineFeed) - data : bytes.size();
        tally.line(bytes.sliced(lineStart, lineEnd - lineStart));
        if (!tally.withinBudget())
            return false;
        lineStart = lineEnd + 1;
    }
    return true;
}

}  // namespace tallyhive::platform::mime

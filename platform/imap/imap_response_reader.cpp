#include "platform/imap/imap_response_reader.h"

#include <QtGlobal>

namespace tallyhive::platform {
namespace {

// Enough of a skipped line's end to see a literal announcement ("{4294967296}").
constexpr qsizetype kTailBytes = 24;

// The literal size announced at the end of a line ("... {123}"), or -1.
qint64 literalSizeAtLineEnd(QByteArrayView line)
{
    if (!line.endsWith('}'))
        return -1;
    const qsizetype open = line.lastIndexOf('{');
    if (open < 0)
        return -1;
    QByteArrayView digits = line.sliced(open + 1, line.size() - open - 2);
    if (digits.endsWith('+'))
        digits.chop(1);
    if (digits.isEmpty())
        return -1;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return -1;  // braces in free text, not a literal
    }
    if (digits.size() > 12)
        return -2;
    qint64 size = 0;
    for (const char c : digits)
        size = size * 10 + (c - '0');
    return size;
}

bool isStatusWord(QByteArrayView word)
{
    for (const char* status : {"OK", "NO", "BAD", "BYE", "PREAUTH"}) {
        if (word.compare(QByteArrayView(status), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QByteArrayView withoutLineEnd(QByteArrayView raw)
{
    if (raw.endsWith("\r\n"))
        raw.chop(2);
    else if (raw.endsWith('\n'))
        raw.chop(1);
    return raw;
}

// Splits "WORD rest" at the first blank.
std::pair<QByteArrayView, QByteArrayView> firstWord(QByteArrayView text)
{
    const qsizetype blank = text.indexOf(' ');
    if (blank < 0)
        return {text, {}};
    return {text.first(blank), text.sliced(blank + 1)};
}

// The first line of a response's lines, its line end included.
QByteArrayView firstLine(QByteArrayView lines)
{
    const qsizetype newline = lines.indexOf('\n');
    return newline < 0 ? lines : lines.first(newline + 1);
}

}  // namespace

ImapResponse parseImapResponse(const QByteArray& lines, std::vector<QByteArray> literals)
{
    ImapResponse response;
    response.raw = lines;
    response.wireBytes = lines.size();
    for (const QByteArray& literal : literals)
        response.wireBytes += literal.size();
    const QByteArrayView line = withoutLineEnd(firstLine(lines));
    if (line.startsWith('+')) {
        response.kind = ImapResponse::Kind::Continuation;
        response.text = line.sliced(1).trimmed().toByteArray();
        return response;
    }

    auto [tag, rest] = firstWord(line);
    response.kind = tag == "*" ? ImapResponse::Kind::Untagged : ImapResponse::Kind::Tagged;
    if (response.kind == ImapResponse::Kind::Tagged)
        response.tag = tag.toByteArray();
    if (tag.isEmpty())
        return response;

    auto [word, afterWord] = firstWord(rest);
    if (isStatusWord(word)) {
        response.status = word.toByteArray().toUpper();
        response.text = afterWord.toByteArray();
        return response;
    }
    if (response.kind == ImapResponse::Kind::Tagged)
        return response;  // a tagged response always carries a status; this one is not understood
    const qsizetype dataStart = lines.indexOf(' ') + 1;
    if (auto tokens = parseImapTokens(QByteArrayView(lines).sliced(dataStart), literals))
        response.data = std::move(*tokens);
    response.literals = std::move(literals);
    return response;
}

QByteArray ImapResponse::wire() const
{
    if (literals.empty())
        return raw;
    QByteArray bytes;
    size_t next = 0;
    qsizetype start = 0;
    while (start < raw.size()) {
        qsizetype end = raw.indexOf('\n', start);
        end = end < 0 ? raw.size() : end + 1;
        const QByteArrayView line(raw.constData() + start, end - start);
        bytes += line;
        if (next < literals.size() && literalSizeAtLineEnd(withoutLineEnd(line)) >= 0)
            bytes += literals[next++];
        start = end;
    }
    return bytes;
}

void ImapResponseReader::feed(QByteArrayView bytes)
{
    while (!bytes.isEmpty() && !failed()) {
        if (skipping_)
            bytes = skip(bytes);
        else if (literalRemaining_ > 0)
            bytes = takeLiteral(bytes);
        else
            bytes = takeLine(bytes);
    }
}

std::optional<ImapResponse> ImapResponseReader::next()
{
    if (ready_.empty())
        return std::nullopt;
    ImapResponse response = std::move(ready_.front());
    ready_.pop_front();
    return response;
}

std::optional<LiteralProgress> ImapResponseReader::literalInProgress() const
{
    if (literalRemaining_ <= 0 || literals_.empty())
        return std::nullopt;
    const qint64 received = literals_.back().size();
    return LiteralProgress{received, received + literalRemaining_};
}

QByteArrayView ImapResponseReader::takeLiteral(QByteArrayView bytes)
{
    const qsizetype count = static_cast<qsizetype>(qMin<qint64>(literalRemaining_, bytes.size()));
    literals_.back().append(bytes.first(count));
    literalRemaining_ -= count;
    responseBytes_ += count;
    return bytes.sliced(count);
}

QByteArrayView ImapResponseReader::takeLine(QByteArrayView bytes)
{
    const qsizetype newline = bytes.indexOf('\n');
    const qsizetype count = newline < 0 ? bytes.size() : newline + 1;
    if (line_.size() + count > kMaxLineBytes + 2) {
        // The line's beginning (tag and status) is kept even when the whole
        // line came in one piece; skip() looks at the rest.
        const qsizetype kept = qBound<qsizetype>(0, kKeptBytes - line_.size(), count);
        line_.append(bytes.first(kept));
        responseBytes_ += kept;
        startSkipping();
        return bytes.sliced(kept);
    }
    line_.append(bytes.first(count));
    responseBytes_ += count;
    if (newline >= 0)
        lineComplete();
    return bytes.sliced(count);
}

void ImapResponseReader::lineComplete()
{
    const qint64 literal = literalSizeAtLineEnd(withoutLineEnd(line_));
    if (literal == -2) {
        fail(QStringLiteral("malformed literal size"));
        return;
    }
    lines_ += line_;
    line_.clear();
    if (literal < 0) {
        finishResponse(false);
        return;
    }
    if (literal > kMaxLiteralBytes || responseBytes_ + literal > kMaxLiteralBytes + kMaxLineBytes) {
        fail(QStringLiteral("literal of %1 bytes exceeds the limit of %2 bytes").arg(literal).arg(kMaxLiteralBytes));
        return;
    }
    // The literal gets a buffer of its exact size, so it is never copied while it grows.
    literals_.emplace_back();
    literals_.back().reserve(static_cast<qsizetype>(literal));
    literalRemaining_ = literal;
}

void ImapResponseReader::startSkipping()
{
    // Keep the response's beginning (tag and status); drop the rest, literals included.
    lines_ = (lines_ + line_).left(kKeptBytes);
    skipTail_ = line_.right(kTailBytes);
    line_.clear();
    literals_.clear();
    skipping_ = true;
}

QByteArrayView ImapResponseReader::skip(QByteArrayView bytes)
{
    qsizetype count = bytes.size();
    bool responseEnds = false;
    if (literalRemaining_ > 0) {
        count = static_cast<qsizetype>(qMin<qint64>(literalRemaining_, bytes.size()));
        literalRemaining_ -= count;
    } else if (const qsizetype newline = bytes.indexOf('\n'); newline >= 0) {
        count = newline + 1;
        skipTail_ = (skipTail_ + bytes.first(newline).last(qMin(newline, kTailBytes)).toByteArray()).right(kTailBytes);
        if (skipTail_.endsWith('\r'))
            skipTail_.chop(1);
        const qint64 literal = literalSizeAtLineEnd(skipTail_);
        skipTail_.clear();
        if (literal >= 0)
            literalRemaining_ = literal;
        else
            responseEnds = true;
    } else {
        skipTail_ = (skipTail_ + bytes.last(qMin(bytes.size(), kTailBytes)).toByteArray()).right(kTailBytes);
    }
    responseBytes_ += count;
    if (responseBytes_ > kMaxSkippedBytes) {
        fail(QStringLiteral("response longer than %1 bytes").arg(kMaxSkippedBytes));
        return {};
    }
    if (responseEnds) {
        skipping_ = false;
        finishResponse(true);
    }
    return bytes.sliced(count);
}

void ImapResponseReader::finishResponse(bool truncated)
{
    ImapResponse response = parseImapResponse(lines_, std::move(literals_));
    response.truncated = truncated;
    if (truncated) {
        response.data.clear();
        response.wireBytes = responseBytes_;
    }
    ready_.push_back(std::move(response));
    lines_.clear();
    literals_.clear();
    responseBytes_ = 0;
}

void ImapResponseReader::fail(const QString& text)
{
    error_ = text;
    line_.clear();
    lines_.clear();
    literals_.clear();
    literalRemaining_ = 0;
    skipping_ = false;
}

}  // namespace tallyhive::platform

#include "platform/imap/imap_response_reader.h"

#include <QtGlobal>

namespace tallyhive::platform {
namespace {

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

}  // namespace

ImapResponse parseImapResponse(const QByteArray& raw)
{
    ImapResponse response;
    response.raw = raw;
    const QByteArrayView line = withoutLineEnd(raw);
    if (line.startsWith('+')) {
        response.kind = ImapResponse::Kind::Continuation;
        response.text = line.sliced(1).trimmed().toByteArray();
        return response;
    }

    auto [tag, rest] = firstWord(line);
    response.kind = tag == "*" ? ImapResponse::Kind::Untagged : ImapResponse::Kind::Tagged;
    if (response.kind == ImapResponse::Kind::Tagged)
        response.tag = tag.toByteArray();
    if (tag.isEmpty()) {
        response.wellFormed = false;
        return response;
    }

    auto [word, afterWord] = firstWord(rest);
    if (isStatusWord(word)) {
        response.status = word.toByteArray().toUpper();
        response.text = afterWord.toByteArray();
        return response;
    }
    if (response.kind == ImapResponse::Kind::Tagged) {
        response.wellFormed = false;  // a tagged response always carries a status
        return response;
    }
    auto tokens = parseImapTokens(rest);
    if (tokens)
        response.data = std::move(*tokens);
    else
        response.wellFormed = false;
    return response;
}

void ImapResponseReader::feed(QByteArrayView bytes)
{
    if (!failed())
        buffer_.append(bytes);
}

std::optional<ImapResponse> ImapResponseReader::next()
{
    if (failed() || !frameNext())
        return std::nullopt;
    ImapResponse response = parseImapResponse(buffer_.first(frameEnd_));
    buffer_.remove(0, frameEnd_);
    frameEnd_ = -1;
    scanPos_ = 0;
    lineStart_ = 0;
    return response;
}

std::optional<LiteralProgress> ImapResponseReader::literalInProgress() const
{
    if (literalRemaining_ <= 0)
        return std::nullopt;
    const qint64 missing = literalRemaining_ - (buffer_.size() - scanPos_);
    return LiteralProgress{literalTotal_ - qMax<qint64>(missing, 0), literalTotal_};
}

bool ImapResponseReader::frameNext()
{
    while (true) {
        if (literalRemaining_ > 0) {
            const qint64 available = buffer_.size() - scanPos_;
            if (available < literalRemaining_)
                return false;
            scanPos_ += literalRemaining_;
            literalRemaining_ = 0;
            lineStart_ = scanPos_;
        }
        const qsizetype newline = buffer_.indexOf('\n', scanPos_);
        if (newline < 0) {
            scanPos_ = buffer_.size();
            if (scanPos_ - lineStart_ > kMaxLineBytes)
                fail(QStringLiteral("response line longer than %1 bytes").arg(kMaxLineBytes));
            return false;
        }
        if (newline - lineStart_ > kMaxLineBytes) {
            fail(QStringLiteral("response line longer than %1 bytes").arg(kMaxLineBytes));
            return false;
        }
        QByteArrayView line = QByteArrayView(buffer_).sliced(lineStart_, newline - lineStart_);
        if (line.endsWith('\r'))
            line.chop(1);
        scanPos_ = newline + 1;
        const qint64 literal = literalSizeAtLineEnd(line);
        if (literal == -2) {
            fail(QStringLiteral("malformed literal size"));
            return false;
        }
        if (literal < 0) {
            frameEnd_ = scanPos_;
            return true;
        }
        if (literal > kMaxLiteralBytes || scanPos_ + literal > kMaxLiteralBytes + kMaxLineBytes) {
            fail(QStringLiteral("literal of %1 bytes exceeds the limit of %2 bytes").arg(literal).arg(kMaxLiteralBytes));
            return false;
        }
        literalRemaining_ = literal;
        literalTotal_ = literal;
        lineStart_ = scanPos_;
    }
}

void ImapResponseReader::fail(const QString& text)
{
    error_ = text;
    buffer_.clear();
    literalRemaining_ = 0;
}

}  // namespace tallyhive::platform

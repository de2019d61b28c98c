#include "platform/mime/mime_encoded_words.h"

#include "platform/mime/mime_base64.h"
#include "platform/mime/mime_text_decoding.h"

#include <optional>
#include <vector>

namespace tallyhive::platform::mime {
namespace {

constexpr QChar replacementCharacter(0xFFFD);

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

struct EncodedWord {
    qsizetype end;            // just past its closing "?="
    QByteArrayView charset;   // without an RFC 2231 language suffix
    bool base64;
    QByteArrayView text;
};

// The encoded word "=?charset?B|Q?text?=" starting at at, if one does. Text
// may hold spaces: some mail programs write them and readers accept them.
std::optional<EncodedWord> encodedWordAt(QByteArrayView value, qsizetype at)
{
    const qsizetype charsetStart = at + 2;
    const qsizetype charsetEnd = value.indexOf('?', charsetStart);
    if (charsetEnd <= charsetStart || charsetEnd + 2 >= value.size() || value[charsetEnd + 2] != '?')
        return std::nullopt;
    QByteArrayView charset = value.sliced(charsetStart, charsetEnd - charsetStart);
    for (const char c : charset) {
        if (isBlank(c))
            return std::nullopt;
    }
    if (const qsizetype language = charset.indexOf('*'); language >= 0)
        charset = charset.first(language);
    const char encoding = value[charsetEnd + 1];
    if (encoding != 'B' && encoding != 'b' && encoding != 'Q' && encoding != 'q')
        return std::nullopt;
    if (charset.isEmpty())
        return std::nullopt;
    const qsizetype textStart = charsetEnd + 3;
    const qsizetype textEnd = value.indexOf("?=", textStart);
    if (textEnd < 0)
        return std::nullopt;
    return EncodedWord{textEnd + 2, charset, encoding == 'B' || encoding == 'b',
                       value.sliced(textStart, textEnd - textStart)};
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QByteArray fromQ(QByteArrayView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            bytes.append(' ');
        } else if (c == '=' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            bytes.append(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            bytes.append(c);
        }
    }
    return bytes;
}

// Nothing when the text holds no bytes at all.
std::optional<QByteArray> fromB(QByteArrayView text)
{
    QByteArray decoded = decodeBase64(text);
    if (decoded.isEmpty() && !text.trimmed().isEmpty())
        return std::nullopt;
    return decoded;
}

bool sameCharset(QByteArrayView a, QByteArrayView b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// Words next to each other, in their order: each stretch in one charset is
// decoded as one byte string, so a character cut between words is whole again.
QString decodeRun(const std::vector<EncodedWord>& run)
{
    QString text;
    QByteArray pending;
    QByteArrayView pendingCharset;
    const auto flush = [&] {
        if (!pendingCharset.isEmpty())
            text += decodeCharset(pending, pendingCharset.toByteArray().constData());
        pending.clear();
        pendingCharset = {};
    };
    for (const EncodedWord& word : run) {
        const std::optional<QByteArray> bytes = word.base64 ? fromB(word.text) : std::optional(fromQ(word.text));
        if (!bytes) {
            flush();
            text += replacementCharacter;
            continue;
        }
        if (!sameCharset(word.charset, pendingCharset))
            flush();
        pendingCharset = word.charset;
        pending += *bytes;
    }
    flush();
    return text;
}

// Splits value into literal stretches and runs of adjacent encoded words
// (whitespace between words belongs to neither), in order.
template <typename Literal, typename Run>
void forEachPiece(QByteArrayView value, Literal&& literal, Run&& run)
{
    qsizetype literalStart = 0;
    qsizetype search = 0;
    // No word starts after the last "?=": stopping there keeps hostile values
    // full of "=?" from costing a scan to the end for each.
    const qsizetype lastEnd = value.lastIndexOf("?=");
    while (true) {
        const qsizetype at = value.indexOf("=?", search);
        if (at < 0 || at > lastEnd)
            break;
        std::optional<EncodedWord> word = encodedWordAt(value, at);
        if (!word) {
            search = at + 2;
            continue;
        }
        std::vector<EncodedWord> words;
        qsizetype end = word->end;
        while (word) {
            end = word->end;
            words.push_back(*word);
            qsizetype next = end;
            while (next < value.size() && isBlank(value[next]))
                ++next;
            word = value.sliced(next).startsWith("=?") ? encodedWordAt(value, next) : std::nullopt;
        }
        literal(value.sliced(literalStart, at - literalStart));
        run(words);
        literalStart = search = end;
    }
    literal(value.sliced(literalStart));
}

// Unfolding: a line break inside a header value is only a fold.
QByteArray unfolded(QByteArrayView value)
{
    QByteArray bytes = value.toByteArray();
    bytes.removeIf([](char c) { return c == '\r' || c == '\n'; });
    return bytes;
}

}  // namespace

QString decodeHeaderText(QByteArrayView value, const char* messageCharset)
{
    const QByteArray bytes = unfolded(value);
    QString text;
    forEachPiece(
        bytes, [&](QByteArrayView literal) { text += decodeRawHeaderBytes(literal, messageCharset); },
        [&text](const std::vector<EncodedWord>& run) { text += decodeRun(run); });
    return text;
}

QByteArray withUtf8EncodedWords(QByteArrayView value, const char* messageCharset)
{
    const QByteArray bytes = unfolded(value);
    QByteArray result;
    result.reserve(bytes.size());
    const auto utf8WithoutNul = [](QString text) { return text.replace(QChar(0), replacementCharacter).toUtf8(); };
    forEachPiece(
        bytes, [&](QByteArrayView literal) { result += utf8WithoutNul(decodeRawHeaderBytes(literal, messageCharset)); },
        [&](const std::vector<EncodedWord>& run) {
            result.append("=?UTF-8?B?").append(utf8WithoutNul(decodeRun(run)).toBase64()).append("?=");
        });
    return result;
}

}  // namespace tallyhive::platform::mime

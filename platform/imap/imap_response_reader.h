#pragma once

#include "platform/imap/imap_token.h"

#include <QByteArray>
#include <QString>

#include <deque>
#include <optional>
#include <vector>

namespace tallyhive::platform {

// One complete server response. Literal contents are kept apart from the
// lines, each in a buffer of its own, so a large message is held once.
struct ImapResponse {
    enum class Kind { Untagged, Tagged, Continuation };

    Kind kind = Kind::Untagged;
    QByteArray tag;                  // tagged responses only
    QByteArray status;               // OK, NO, BAD, BYE or PREAUTH (upper case); empty for data responses
    QByteArray text;                 // what follows the status, or the '+'
    std::vector<ImapToken> data;     // the values of an untagged data response (* 3 EXISTS, * LIST ...); empty when unparseable
    QByteArray raw;                  // the response's lines as received; a literal's place shows only as its {n}
    std::vector<QByteArray> literals;  // the literal contents, in order
    // Only the beginning of a response longer than the line limit is kept
    // (its tag and status); the rest was skipped.
    bool truncated = false;
    qint64 wireBytes = 0;            // how many bytes the response took on the wire

    bool isStatus(QByteArrayView upperCaseStatus) const { return status == upperCaseStatus; }
    // The response as it came, literals in their places.
    QByteArray wire() const;
};

// How far the literal currently being received has come.
struct LiteralProgress {
    qint64 received = 0;
    qint64 total = 0;
};

// Cuts the byte stream from a server into responses. Pure: it is fed bytes and
// hands out whatever complete responses they make up, so it can be tested and
// fuzzed without a socket. Limits keep a hostile server from exhausting memory:
// a response longer than a line may be is skipped and handed out truncated, so
// only the command it belongs to is affected; past the limits below the stream
// cannot be trusted and the reader fails.
class ImapResponseReader {
public:
    static constexpr qint64 kMaxLiteralBytes = 256LL * 1024 * 1024;
    static constexpr qint64 kMaxLineBytes = 1024 * 1024;
    // How much of one over-long response is skipped before giving up on the stream.
    static constexpr qint64 kMaxSkippedBytes = 64LL * 1024 * 1024;
    // What is kept of an over-long response.
    static constexpr qsizetype kKeptBytes = 4096;

    void feed(QByteArrayView bytes);
    // The next complete response, if one has arrived.
    std::optional<ImapResponse> next();
    bool hasResponse() const { return !ready_.empty(); }
    std::optional<LiteralProgress> literalInProgress() const;

    // Once failed, the stream cannot be resynchronised; the reader yields nothing more.
    bool failed() const { return !error_.isEmpty(); }
    QString errorText() const { return error_; }

private:
    QByteArrayView takeLiteral(QByteArrayView bytes);
    QByteArrayView takeLine(QByteArrayView bytes);
    QByteArrayView skip(QByteArrayView bytes);
    void lineComplete();
    void startSkipping();
    void finishResponse(bool truncated);
    void fail(const QString& text);

    QByteArray line_;                  // the line being received
    QByteArray lines_;                 // earlier lines of the response being received
    std::vector<QByteArray> literals_;
    qint64 literalRemaining_ = 0;      // bytes of the current literal still to come
    qint64 responseBytes_ = 0;         // bytes of the response being received so far
    bool skipping_ = false;            // inside an over-long response
    QByteArray skipTail_;              // the end of the skipped line so far, for a literal announcement
    std::deque<ImapResponse> ready_;
    QString error_;
};

// Classifies one framed response: its lines, with each literal's content
// given apart in order. Exposed for tests.
ImapResponse parseImapResponse(const QByteArray& lines, std::vector<QByteArray> literals = {});

}  // namespace tallyhive::platform

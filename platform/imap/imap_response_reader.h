#pragma once

#include "platform/imap/imap_token.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace tallyhive::platform {

// One complete server response, literals included.
struct ImapResponse {
    enum class Kind { Untagged, Tagged, Continuation };

    Kind kind = Kind::Untagged;
    QByteArray tag;                 // tagged responses only
    QByteArray status;              // OK, NO, BAD, BYE or PREAUTH (upper case); empty for data responses
    QByteArray text;                // what follows the status, or the '+'
    std::vector<ImapToken> data;    // the values of an untagged data response (* 3 EXISTS, * LIST ...)
    bool wellFormed = true;         // false when a data response could not be parsed
    QByteArray raw;                 // the response exactly as received

    bool isStatus(QByteArrayView upperCaseStatus) const { return status == upperCaseStatus; }
};

// How far the literal currently being received has come.
struct LiteralProgress {
    qint64 received = 0;
    qint64 total = 0;
};

// Cuts the byte stream from a server into responses. Pure: it is fed bytes and
// hands out whatever complete responses they make up, so it can be tested and
// fuzzed without a socket. Limits keep a hostile server from exhausting memory.
class ImapResponseReader {
public:
    static constexpr qint64 kMaxLiteralBytes = 256LL * 1024 * 1024;
    static constexpr qint64 kMaxLineBytes = 1024 * 1024;

    void feed(QByteArrayView bytes);
    // The next complete response, if one has arrived.
    std::optional<ImapResponse> next();
    std::optional<LiteralProgress> literalInProgress() const;

    // Once failed, the stream cannot be resynchronised; the reader yields nothing more.
    bool failed() const { return !error_.isEmpty(); }
    QString errorText() const { return error_; }

private:
    bool frameNext();  // true when buffer_[0, frameEnd_) holds one whole response
    void fail(const QString& text);

    QByteArray buffer_;
    qsizetype scanPos_ = 0;        // where the search for the next line end resumes
    qsizetype lineStart_ = 0;      // start of the line being scanned
    qint64 literalRemaining_ = 0;  // bytes of the current literal still to come
    qint64 literalTotal_ = 0;
    qsizetype frameEnd_ = -1;
    QString error_;
};

// Classifies one framed response. Exposed for the fuzz target and tests.
ImapResponse parseImapResponse(const QByteArray& raw);

}  // namespace tallyhive::platform

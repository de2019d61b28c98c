#pragma once

#include "interfaces/imap_component.h"
#include "platform/imap/imap_transport.h"

#include <QByteArray>
#include <QStringList>
#include <QThread>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <vector>

namespace tallyhive::testing {

// Plays the server's side of an IMAP conversation from a script, in order:
// bytes the client must write next, bytes the server sends (optionally in
// pieces, one piece per read), a dropped connection, or silence.
// A transcript must be played to its end: a line the client never wrote, or
// wrote otherwise, fails the test that wrote it.
class TranscriptTransport : public platform::ImapTransport {
public:
    ~TranscriptTransport() override { EXPECT_TRUE(played()) << mismatches.join(u'\n').toStdString() << remaining().toStdString(); }

    TranscriptTransport& client(const QByteArray& bytes) { return add({Step::Client, bytes, 0}); }
    TranscriptTransport& server(const QByteArray& bytes, int pieceSize = 0) { return add({Step::Server, bytes, pieceSize}); }
    TranscriptTransport& drop() { return add({Step::Drop, {}, 0}); }
    TranscriptTransport& stall() { return add({Step::Stall, {}, 0}); }

    bool open(const QString& host, int port, int, const std::function<bool()>& keepWaiting) override
    {
        openedWith = QStringLiteral("%1:%2").arg(host).arg(port);
        ++opens;
        keepWaiting();
        const bool refused = !openSucceeds || opensToRefuse > 0;
        if (opensToRefuse > 0)
            --opensToRefuse;
        closed = refused;
        return !refused;
    }
    void write(const QByteArray& bytes) override
    {
        written += bytes;
        unmatched_ += bytes;
        while (!steps_.empty() && steps_.front().kind == Step::Client && unmatched_.size() >= steps_.front().bytes.size()) {
            const QByteArray expected = steps_.front().bytes;
            if (!unmatched_.startsWith(expected))
                mismatches << QStringLiteral("expected [%1] got [%2]").arg(QString::fromUtf8(expected), QString::fromUtf8(unmatched_));
            unmatched_.remove(0, expected.size());
            steps_.pop_front();
        }
    }
    QByteArray read(int waitMs) override
    {
        ++reads;
        if (!closed && !steps_.empty()) {
            Step& step = steps_.front();
            if (step.kind == Step::Drop) {
                closed = true;
                steps_.pop_front();
                return {};
            }
            if (step.kind == Step::Server) {
                const qsizetype size = step.pieceSize > 0 ? step.pieceSize : step.bytes.size();
                const QByteArray piece = step.bytes.left(size);
                step.bytes.remove(0, piece.size());
                if (step.bytes.isEmpty())
                    steps_.pop_front();
                return piece;
            }
        }
        QThread::msleep(static_cast<unsigned long>(qMin(waitMs, 5)));
        return {};
    }
    bool isOpen() const override { return !closed; }
    QString errorText() const override { return closed ? QStringLiteral("connection closed by the transcript") : QString(); }
    void close() override { closed = true; }

    // True when every scripted step was played and each client line written as expected.
    bool played() const { return mismatches.isEmpty() && (steps_.empty() || steps_.front().kind == Step::Stall); }
    QString remaining() const { return steps_.empty() ? QString() : QString::fromUtf8(steps_.front().bytes); }

    bool openSucceeds = true;
    int opensToRefuse = 0;  // so many opens fail before they succeed again
    int opens = 0;
    bool closed = false;
    int reads = 0;
    QString openedWith;
    QByteArray written;
    QStringList mismatches;

private:
    struct Step {
        enum Kind { Client, Server, Drop, Stall } kind;
        QByteArray bytes;
        int pieceSize = 0;
    };
    TranscriptTransport& add(Step step)
    {
        steps_.push_back(std::move(step));
        return *this;
    }

    std::deque<Step> steps_;
    QByteArray unmatched_;
};

// Records the client's notifications and answers its abort polls.
class RecordingNotifications : public platform::ImapNotifications {
public:
    void abortCheck(bool& value) override
    {
        ++polls;
        if (onPoll)
            onPoll();
        value = abort;
    }
    void percentDone(int percent) override
    {
        percents.push_back(percent);
        if (onPercent)
            onPercent(percent);
    }

    void reconnecting(int attempt, int attempts) override { reconnects.push_back({attempt, attempts}); }

    bool abort = false;
    int polls = 0;
    std::vector<int> percents;
    std::vector<std::pair<int, int>> reconnects;
    std::function<void(int)> onPercent;
    std::function<void()> onPoll;
};

}  // namespace tallyhive::testing

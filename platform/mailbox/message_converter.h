#pragma once

#include "interfaces/imap_component.h"

#include <QByteArray>
#include <QDateTime>

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

namespace tallyhive::platform {

// Turns fetched messages into their records on threads of its own, so
// that the conversion of the next messages overlaps the caller's work on
// this one. It is handed bytes it alone holds and hands back records; it
// touches nothing else.
class MessageConverter {
public:
    // The version of what conversion makes of a message. Raised whenever a
    // change gives any message another record, so records kept by a store
    // under the old rules are read again.
    static constexpr int kRules = 2;

    MessageConverter();
    ~MessageConverter();
    MessageConverter(const MessageConverter&) = delete;
    MessageConverter& operator=(const MessageConverter&) = delete;

    void submit(qint64 number, QByteArray bytes, QDateTime internalDate);
    // Waits for message `number`, which must have been submitted, asking
    // `keepWaiting` about every 10 ms meanwhile; nothing when it said no, or
    // when a clear() forgot the message. The record comes back copied on the
    // caller's thread, off the converting threads' heaps.
    std::optional<EmailRecord> take(qint64 number, const std::function<bool()>& keepWaiting);
    // Forgets every message submitted and not taken.
    void clear();
    // Messages and bytes submitted and not yet converted.
    size_t queued() const;
    qint64 queuedBytes() const;

private:
    // Converting and packing a message costs more than fetching it, so it
    // takes every core the window's own thread leaves: at least two threads,
    // and no more than four, which keep up with a local connection.
    static int threadCount();

    struct Job {
        qint64 number;
        QByteArray bytes;
        QDateTime internalDate;
    };

    void work();

    mutable std::mutex guard_;
    // Apart, so that a message handed in wakes one thread and not the caller too.
    std::condition_variable jobsChanged_;
    std::condition_variable converted_;
    std::deque<Job> jobs_;
    std::map<qint64, EmailRecord> done_;
    std::set<qint64> inWork_;  // the numbers being converted
    // The number take() waits for; the others wake nobody when they are done.
    std::optional<qint64> awaited_;
    qint64 queuedBytes_ = 0;
    quint64 generation_ = 0;  // a clear() makes work in progress stale
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace tallyhive::platform

#pragma once

#include <QString>

#include <map>

namespace tallyhive {

// The log entries of one fetch run's failed messages. A cause (the text with
// its numbers left out) writes a bounded number of entries, then at the
// run's end one that says how many more there were: a server that claims
// millions of messages and lists none of them must not fill the disk.
class RunFailureLog {
public:
    static constexpr qint64 kEntriesPerCause = 1000;
    // Causes told apart; the rest share one count.
    static constexpr size_t kCauses = 20;

    RunFailureLog() = default;
    RunFailureLog(const RunFailureLog&) = delete;
    RunFailureLog& operator=(const RunFailureLog&) = delete;
    ~RunFailureLog();

    void append(const QString& text);

private:
    struct Cause {
        QString example;  // the first entry left out
        qint64 written = 0;
        qint64 leftOut = 0;
    };
    std::map<QString, Cause> causes_;
};

}  // namespace tallyhive

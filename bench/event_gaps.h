#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <functional>

// How long the window went at most without processing its events: a timer
// of no interval fires at every turn of the event loop.
class EventGaps {
public:
    EventGaps()
    {
        ticker_.setInterval(0);
        QObject::connect(&ticker_, &QTimer::timeout, [this] {
            markTurn();
            if (onTurn)
                onTurn();
        });
    }

    // Run at every turn too, for a benchmark that acts in the middle of a run.
    std::function<void()> onTurn;

    void start()
    {
        ticker_.start();
        clock_.start();
    }
    void stop() { ticker_.stop(); }
    // A turn now: the time since the last one counts as a gap.
    void markTurn()
    {
        const qint64 now = clock_.nsecsElapsed();
        longest_ = std::max(longest_, now - lastTurn_);
        lastTurn_ = now;
    }
    // Since start().
    const QElapsedTimer& clock() const { return clock_; }
    double longestMs() const { return longest_ / 1e6; }

private:
    QTimer ticker_;
    QElapsedTimer clock_;
    qint64 lastTurn_ = 0;
    qint64 longest_ = 0;
};

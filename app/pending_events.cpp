#include "app/pending_events.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace tallyhive {
namespace {

// Long loops call this once per item (per message, per row). A pass through
// the event loop repaints whatever changed, which costs far more than the
// item itself; one pass every few milliseconds keeps the window just as
// responsive to the eye and to Stop. Waits call in about every 10 ms, so the
// window goes at most about 30 ms without a pass.
constexpr qint64 MinimumPassIntervalMs = 20;

std::function<void()>& observer()
{
    static std::function<void()> instance;
    return instance;
}

}  // namespace

void letPendingEventsRun()
{
    static QElapsedTimer sinceLastPass;
    if (QCoreApplication::instance() && (!sinceLastPass.isValid() || sinceLastPass.hasExpired(MinimumPassIntervalMs))) {
        // Counted from the start of a pass: a pass that repaints a lot must
        // not lengthen the wait for the next one.
        sinceLastPass.start();
        QCoreApplication::processEvents();
    }
    if (observer())
        observer()();
}

void setPendingEventsObserver(std::function<void()> newObserver) { observer() = std::move(newObserver); }

}  // namespace tallyhive

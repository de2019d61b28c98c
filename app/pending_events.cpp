#include "app/pending_events.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace tallyhive {
namespace {

// Long loops call this once per item (per message, per row). A pass through
// the event loop repaints whatever changed, which costs far more than the
// item itself; one pass every few milliseconds keeps the window just as
// responsive to the eye and to Stop.
constexpr qint64 MinimumPassIntervalMs = 30;

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
        QCoreApplication::processEvents();
        sinceLastPass.start();
    }
    if (observer())
        observer()();
}

void setPendingEventsObserver(std::function<void()> newObserver) { observer() = std::move(newObserver); }

}  // namespace tallyhive

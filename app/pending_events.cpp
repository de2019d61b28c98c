#include "app/pending_events.h"

#include <QCoreApplication>

namespace tallyhive {
namespace {
std::function<void()>& observer()
{
    static std::function<void()> instance;
    return instance;
}
}  // namespace

void letPendingEventsRun()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
    if (observer())
        observer()();
}

void setPendingEventsObserver(std::function<void()> newObserver) { observer() = std::move(newObserver); }

}  // namespace tallyhive

#pragma once

#include <functional>

namespace tallyhive {

// Lets the window system process pending events; the points where long work
// calls this are the only places other handlers (Stop above all) can run.
void letPendingEventsRun();

// Runs at every such point after the events; tests use it to act in the middle of a command.
void setPendingEventsObserver(std::function<void()> observer);

}  // namespace tallyhive

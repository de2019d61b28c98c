#include "mainwindow/window_activity.h"

namespace tallyhive {

bool WindowActivity::start(State operation)
{
    if (operation == State::Connecting && state_ == State::Loading) {
        state_ = State::ConnectingAtLoad;
        return true;
    }
    if (state_ != State::Idle)
        return false;
    state_ = operation;
    if (operation == State::Fetching)
        holdBackDone_ = false;
    return true;
}

void WindowActivity::stop()
{
    if (state_ == State::Fetching)
        state_ = State::Stopping;
}

void WindowActivity::end() { state_ = state_ == State::ConnectingAtLoad ? State::Loading : State::Idle; }

bool WindowActivity::takeConnectWhenShown()
{
    const bool waiting = connectWhenShown_;
    connectWhenShown_ = false;
    return waiting;
}

}  // namespace tallyhive

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
    return true;
}

void WindowActivity::end() { state_ = state_ == State::ConnectingAtLoad ? State::Loading : State::Idle; }

bool WindowActivity::takeConnectWhenShown()
{
    const bool waiting = connectWhenShown_;
    connectWhenShown_ = false;
    return waiting;
}

}  // namespace tallyhive

#include "mainwindow/window_activity.h"

namespace tallyhive {

bool WindowActivity::start(State operation)
{
    if (operation == State::Connecting && state_ == State::Loading) {
        changeTo(State::ConnectingAtLoad);
        return true;
    }
    if (state_ != State::Idle)
        return false;
    if (operation == State::Fetching)
        holdBackDone_ = false;
    changeTo(operation);
    return true;
}

void WindowActivity::stop()
{
    if (state_ == State::Fetching)
        changeTo(State::Stopping);
}

void WindowActivity::end() { changeTo(state_ == State::ConnectingAtLoad ? State::Loading : State::Idle); }

void WindowActivity::setConnected(bool connected)
{
    connected_ = connected;
    if (show_)
        show_();
}

void WindowActivity::changeTo(State state)
{
    state_ = state;
    if (show_)
        show_();
}

bool WindowActivity::takeConnectWhenShown()
{
    const bool waiting = connectWhenShown_;
    connectWhenShown_ = false;
    return waiting;
}

}  // namespace tallyhive

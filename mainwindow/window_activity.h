#pragma once

#include <functional>

namespace tallyhive {

// What the main window is doing: whether it holds a connection, and which of
// its long operations runs. The operations (the load, a connect, a fetch run)
// each run alone; the rule that keeps them apart is start(), and nowhere
// else. Captions and enabled buttons follow from this, never the reverse.
class WindowActivity {
public:
    enum class State {
        Idle,
        Loading,           // the start-up sequence; the window cannot be seen yet
        ConnectingAtLoad,  // the load's own connect, still unseen
        Connecting,
        Fetching,
        Stopping,  // a fetch run told to stop, still running its closing lines
    };

    // An operation starts only while the window is idle; the load's connect
    // starts inside the load. Refused otherwise: the command that asked is
    // ignored. Stop and Disconnect start nothing and are never refused.
    bool start(State operation);
    // The operation that started last is over.
    void end();
    // A fetch run stops: until it has ended, a click on a fetch button starts nothing.
    void stop();

    State state() const { return state_; }
    bool connecting() const { return state_ == State::Connecting || state_ == State::ConnectingAtLoad; }
    bool fetching() const { return state_ == State::Fetching; }

    // Whether the window holds a signed-in connection; what the connect
    // button's click means follows from it.
    bool connected() const { return connected_; }
    void setConnected(bool connected);

    // Called after every change, for the window to show it.
    void onChange(std::function<void()> show) { show_ = std::move(show); }

    // The bare "Done." of the run going on is held back (its folder was
    // empty, its sign-in failed, its range dialog was cancelled); never that
    // of the next run, which starts with it cleared.
    bool& holdBackDone() { return holdBackDone_; }
    // Nothing may open the browser or a dialog while the window cannot be seen.
    bool unseen() const { return state_ == State::Loading || state_ == State::ConnectingAtLoad; }

    // A connect that needs the user waits until the window is shown.
    void connectWhenShown(bool wanted = true) { connectWhenShown_ = wanted; }
    // True once, when a connect waits for the window to be shown.
    bool takeConnectWhenShown();

private:
    void changeTo(State state);

    State state_ = State::Idle;
    bool connected_ = false;
    bool connectWhenShown_ = false;
    bool holdBackDone_ = false;
    std::function<void()> show_;
};

}  // namespace tallyhive

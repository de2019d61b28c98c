#pragma once

#include "platform/imap/imap_client.h"

namespace tallyhive::platform {

// One public call: it refuses to start while another call runs (a
// notification handler may call in), keeps the client busy meanwhile, and
// for calls that talk to the server checks that the connection is usable.
// A fetch run ends with any other call, which would read the run's replies.
class ImapClient::Call {
public:
    enum class Needs { Connection, Nothing };

    Call(ImapClient& client, const QString& operation, Needs needs = Needs::Connection, bool partOfRun = false)
        : client_(client), wasBusy_(client.activity_ != Activity::Idle)
    {
        if (client.activity_ == Activity::InCall) {
            client.setError(QStringLiteral("%1 refused: another call is in progress").arg(operation));
            return;
        }
        entered_ = true;
        client.selected_.byLatestCall = false;
        if (client.activity_ == Activity::Idle)
            client.activity_ = Activity::InCall;
        if (!partOfRun && client.activity_ != Activity::Reopening)
            client.dropRun();
        if (needs == Needs::Nothing || (client.connected() && client.unusableReason_.isEmpty())) {
            ok_ = true;
            return;
        }
        if (!client.unusableReason_.isEmpty())
            client.setError(QStringLiteral("%1 failed: the connection is unusable (%2); connect again").arg(operation, client.unusableReason_));
        else
            client.setError(QStringLiteral("%1 failed: not connected").arg(operation));
    }
    ~Call()
    {
        if (entered_ && !wasBusy_)
            client_.activity_ = Activity::Idle;
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    bool ok() const { return ok_; }

private:
    ImapClient& client_;
    bool wasBusy_;
    bool entered_ = false;
    bool ok_ = false;
};

}  // namespace tallyhive::platform

#pragma once

#include <QString>

namespace tallyhive::platform {

// What became of a call, in the one vocabulary every call answers in.
enum class MailStatus {
    Ok,
    Failed,            // refused by the server, refused while a run goes on, the connection failed, a file stayed
    TokenRefused,      // sign-in: the server refused the access tokens, or none could be had
    MailboxNotServed,  // sign-in: the token was taken, then the first command that needs the mailbox refused
    MessageBad,        // fetch run: this message could not be read (refused, gone, too large); the run goes on
    RunEnded,          // fetch run: no later message can be read either (connection lost for good, folder changed, stopped)
};

// A call's status and its text: on failure what went wrong, for a fetched
// message what the log says about it. Never holds the password.
struct MailResult {
    MailStatus status = MailStatus::Failed;
    QString text;

    bool ok() const { return status == MailStatus::Ok; }
    // The server would not take the sign-in: the caller decides what follows.
    bool signInRefused() const { return status == MailStatus::TokenRefused || status == MailStatus::MailboxNotServed; }
};

// A call that brings something back: the value is there when ok().
template <typename T>
struct MailReply : MailResult {
    T value{};
};

}  // namespace tallyhive::platform

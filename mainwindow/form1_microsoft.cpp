#include "mainwindow/form1.h"

#include "app/texts.h"
#include "app/window/window_pointer.h"
#include "interfaces/error.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSignalBlocker>

namespace tallyhive {

using Outcome = platform::BrowserSignIn::Outcome;

platform::BrowserSignIn& Form1::signIn() const
{
    if (!services_.signIn)
        throw AppError(texts::ObjectNotSet);
    return *services_.signIn;
}

void Form1::applySignInMethod()
{
    if (signInMethod_ == SignInMethod::Password)
        return;
    {
        // Emptied for the eye only: a remembered password stays saved for
        // a later password sign-in.
        const QSignalBlocker quiet(Text2);
        Text2->clear();
    }
    Text2->setEnabled(false);
    Text2->setPlaceholderText(texts::PasswordNotNeeded);
    Text2->setToolTip(texts::PasswordNotNeeded);
    // Outside the numbered steps: a window given no sign-in object says so
    // at its first connect instead of failing its load.
    if (signInMethod_ == SignInMethod::Microsoft && services_.signIn) {
        services_.signIn->setRemembered(Check1->checkState() != Qt::Unchecked);
        services_.signIn->setBrowserNotOpenedNotice([this](const QString& address) {
            services_.boxes.show(texts::BrowserNotOpened.arg(address), texts::AppTitle, platform::BoxIcon::None);
        });
    }
}

// A token at hand (or refreshed) is tried first; the browser opens when there
// is none, or when the server refused it and a refreshed one.
bool Form1::connectWithMicrosoft(clsChilkatIMAP& session)
{
    // The tokens belong to the Live ID typed; the mailbox is the one the
    // browser sign-in really opened.
    const QString account = LoginName();
    bool browserUsed = false;
    if (signIn().accessToken(account, false).isEmpty()) {
        const Outcome outcome = signIn().lastOutcome();
        if (outcome == Outcome::Unreachable || outcome == Outcome::Unexpected) {
            showSignInOutcome(outcome);
            return false;
        }
        if (!signInThroughBrowser(account))
            return false;
        browserUsed = true;
    }
    while (true) {
        tokenRefused_ = false;
        session.Username = signIn().mailboxAddress(account);
        if (session.Connect())
            break;
        if (!tokenRefused_)
            return false;  // the session has said why
        if (browserUsed) {
            // A token just granted and still refused belongs to someone else.
            services_.boxes.show(texts::SignInWrongAccount.arg(session.Username), texts::AppTitle, platform::BoxIcon::None);
            return false;
        }
        if (!signInThroughBrowser(account))
            return false;
        browserUsed = true;
    }
    if (session.Username.compare(account, Qt::CaseInsensitive) != 0 && announcedMailbox_ != session.Username) {
        announcedMailbox_ = session.Username;
        services_.boxes.show(texts::SignInOtherMailbox.arg(session.Username, account), texts::AppTitle, platform::BoxIcon::None);
    }
    if (Check1->checkState() != Qt::Unchecked && !signIn().canRemember() && !cannotRememberShown_) {
        cannotRememberShown_ = true;
        services_.boxes.show(texts::CannotRememberSignIn, texts::AppTitle, platform::BoxIcon::None);
    }
    return true;
}

bool Form1::signInThroughBrowser(const QString& account)
{
    setStatus(texts::StatusFinishInBrowser);
    // The window stays usable while the user is in the browser.
    pointer_->setDefault();
    const Outcome outcome = signIn().signInInBrowser(account);
    pointer_->setBusy();
    if (outcome == Outcome::SignedIn) {
        setStatus(texts::StatusConnecting);
        return true;
    }
    showSignInOutcome(outcome);
    return false;
}

void Form1::showSignInOutcome(Outcome outcome)
{
    QString text;
    switch (outcome) {
    case Outcome::SignedIn:
    case Outcome::Cancelled:
        return;
    case Outcome::Declined:
        text = texts::SignInDeclined;
        break;
    case Outcome::TimedOut:
        text = texts::SignInTimedOut;
        break;
    case Outcome::Unreachable:
        text = texts::SignInUnreachable;
        break;
    case Outcome::Unexpected:
        text = texts::SignInUnexpected.arg(signIn().lastDetail());
        break;
    case Outcome::Failed:
    case Outcome::NoToken:
        text = texts::SignInFailed.arg(signIn().lastDetail());
        break;
    }
    services_.boxes.show(text, texts::AppTitle, platform::BoxIcon::None);
}

void Form1::oChilkat_SignInRefused()
{
    tokenRefused_ = true;
    // The connect command decides what follows; a fetch run cannot open the
    // browser, so the user hears how to sign in again.
    if (!connecting_)
        services_.boxes.show(texts::SignInNoLongerAccepted, texts::AppTitle, platform::BoxIcon::None);
}

}  // namespace tallyhive

#include "mainwindow/form1.h"

#include "app/config.h"
#include "app/microsoft_application.h"
#include "app/settings_keys.h"
#include "app/texts.h"
#include "app/window/window_pointer.h"
#include "auth/id_token.h"
#include "interfaces/error.h"

#include <QCheckBox>
#include <QLabel>
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

// The environment overrides what the dialog saved, which overrides what the
// package was built with.
void Form1::chooseMicrosoftApplication()
{
    const auto saved = [this](const QString& key) {
        return services_.settings.getSetting(settings_keys::Application, settings_keys::Section, key, QString());
    };
    microsoftApplication_.clientId = config::oauthClientId(saved(settings_keys::OAuthClientId));
    microsoftApplication_.tenant = config::oauthTenant(saved(settings_keys::OAuthAuthority));
    signInMethod_ = chooseSignInMethod(microsoftApplication_.clientId, services_.server.host);
    if (signInMethod_ == SignInMethod::Microsoft && services_.signIn)
        services_.signIn->useApplication(microsoftApplication_.clientId, config::oauthAuthority(microsoftApplication_.tenant));
}

bool Form1::MicrosoftSetup()
{
    // With no application yet, the account type is guessed from the Live ID.
    const platform::MicrosoftApplication proposed{
        microsoftApplication_.clientId,
        microsoftApplication_.clientId.isEmpty() ? tenantForAddress(LoginName()) : microsoftApplication_.tenant};
    const auto chosen = services_.boxes.microsoftSetup(proposed);
    if (!chosen)
        return false;
    saveSetting(settings_keys::OAuthClientId, chosen->clientId);
    saveSetting(settings_keys::OAuthAuthority, chosen->tenant);
    chooseMicrosoftApplication();
    applySignInMethod();
    return signInMethod_ == SignInMethod::Microsoft;
}

void Form1::applySignInMethod()
{
    if (signInMethod_ == SignInMethod::Password)
        return;
    {
        const QSignalBlocker quiet(Text2);
        Text2->clear();
    }
    Text2->setEnabled(false);
    Text2->setPlaceholderText(texts::PasswordNotNeeded);
    Text2->setToolTip(texts::PasswordNotNeededTip);
    // Outlook.com takes no password: one saved earlier is only a liability.
    if (!services_.settings.getSetting(settings_keys::Application, settings_keys::Section, settings_keys::Password, QString()).isEmpty())
        saveSetting(settings_keys::Password, QString());
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
    // The Live ID typed is the mailbox asked for, and the tokens are its.
    const QString account = LoginName();
    if (!auth::isUsableAddress(account)) {
        services_.boxes.show(texts::LiveIdNotAnAddress, texts::AppTitle, platform::BoxIcon::None);
        return false;
    }
    bool browserUsed = false;
    if (signIn().accessToken(account, false).isEmpty()) {
        if (signInServiceFailed() || !signInThroughBrowser(account))
            return false;
        browserUsed = true;
    }
    while (!connectAsMailbox(session, account)) {
        if (!tokenRefused_ || signInServiceFailed())
            return false;  // the session or a box has said why
        if (browserUsed) {
            // A token just granted and still refused belongs to someone else.
            services_.boxes.show(texts::SignInWrongAccount.arg(session.Username), texts::AppTitle, platform::BoxIcon::None);
            return false;
        }
        if (!signInThroughBrowser(account))
            return false;
        browserUsed = true;
    }
    readMailbox_ = session.Username;
    readMailboxFor_ = account;
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

// The Live ID typed first. When the server refuses the token for it and the
// browser's sign-in named another address (an alias, a second account),
// that one, once.
bool Form1::connectAsMailbox(clsChilkatIMAP& session, const QString& account)
{
    QString mailbox = account;
    while (true) {
        tokenRefused_ = false;
        session.Username = mailbox;
        if (session.Connect())
            return true;
        // A service that failed to renew the token would fail the other address too.
        const Outcome renewal = signIn().lastOutcome();
        const QString named = signIn().mailboxAddress(account);
        if (!tokenRefused_ || mailbox != account || renewal == Outcome::Unreachable || renewal == Outcome::Unexpected
            || named.compare(account, Qt::CaseInsensitive) == 0)
            return false;
        mailbox = named;
    }
}

// The service could not be asked, or answered with something that is no
// answer: the browser would fare no better.
bool Form1::signInServiceFailed()
{
    const Outcome outcome = signIn().lastOutcome();
    if (outcome != Outcome::Unreachable && outcome != Outcome::Unexpected)
        return false;
    showSignInOutcome(outcome);
    return true;
}

bool Form1::signInThroughBrowser(const QString& account)
{
    if (loading_) {
        connectWhenShown_ = true;
        return false;
    }
    while (true) {
        setStatus(texts::StatusFinishInBrowser);
        // The window stays usable while the user is in the browser.
        pointer_->setDefault();
        lblSignInHelp->show();
        const Outcome outcome = signIn().signInInBrowser(account);
        lblSignInHelp->hide();
        pointer_->setBusy();
        if (outcome == Outcome::SignedIn) {
            setStatus(texts::StatusConnecting);
            return true;
        }
        // A new application set up from the box is tried at once.
        if (!showSignInOutcome(outcome))
            return false;
    }
}

bool Form1::showSignInOutcome(Outcome outcome)
{
    QString text;
    switch (outcome) {
    case Outcome::SignedIn:
        return false;
    case Outcome::Declined:
        text = texts::SignInDeclined;
        break;
    case Outcome::Unreachable:
        text = texts::SignInUnreachable;
        break;
    case Outcome::Unexpected:
        text = texts::SignInUnexpected.arg(signIn().lastDetail());
        break;
    // Microsoft shows a wrong application, account type or redirect address
    // only on its own page: these may all be one.
    case Outcome::Cancelled:
        return services_.boxes.offer(texts::SignInCancelled, texts::AppTitle, texts::MicrosoftSetupAction) && MicrosoftSetup();
    case Outcome::TimedOut:
        return services_.boxes.offer(texts::SignInTimedOut, texts::AppTitle, texts::MicrosoftSetupAction) && MicrosoftSetup();
    case Outcome::Failed:
    case Outcome::NoToken:
        return services_.boxes.offer(texts::SignInFailed.arg(signIn().lastDetail()), texts::AppTitle, texts::MicrosoftSetupAction)
               && MicrosoftSetup();
    }
    services_.boxes.show(text, texts::AppTitle, platform::BoxIcon::None);
    return false;
}

void Form1::oChilkat_SignInRefused()
{
    tokenRefused_ = true;
    // The connect command decides what follows; a fetch run cannot open the
    // browser, so the user hears how to sign in again.
    if (!connecting_)
        services_.boxes.show(texts::SignInNoLongerAccepted, texts::AppTitle, platform::BoxIcon::None);
}

void Form1::oChilkat_MailboxNotServed(const QString& mailbox)
{
    services_.boxes.show(texts::MailboxNotServed.arg(mailbox), texts::AppTitle, platform::BoxIcon::None);
}

}  // namespace tallyhive

#include "mainwindow/sign_in_panel.h"

#include "app/microsoft_application.h"
#include "app/settings_keys.h"
#include "app/texts.h"
#include "app/window/window_pointer.h"
#include "auth/id_token.h"
#include "interfaces/error.h"
#include "mainwindow/email_list.h"
#include "mainwindow/fetch_panel.h"
#include "mainwindow/window_settings.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

namespace tallyhive {

using Outcome = platform::BrowserSignIn::Outcome;

platform::BrowserSignIn& SignInPanel::signIn() const
{
    if (!window_.services.signIn)
        throw AppError(texts::ObjectNotSet);
    return *window_.services.signIn;
}

// The environment overrides what the dialog saved, which overrides what the
// package was built with.
void SignInPanel::chooseMicrosoftApplication()
{
    const auto saved = [this](const QString& key) {
        return readWindowSetting(window_.services.settings, key, QString());
    };
    const Deployment& deployment = window_.services.deployment;
    microsoftApplication_ =
        applicationInForce(deployment.microsoft, saved(settings_keys::OAuthClientId), saved(settings_keys::OAuthAuthority));
    signInMethod_ = chooseSignInMethod(deployment.signInMode, microsoftApplication_.clientId, window_.services.server.host);
    if (signInMethod_ == SignInMethod::Microsoft && window_.services.signIn)
        window_.services.signIn->useApplication(microsoftApplication_.clientId, oauthAuthority(deployment.microsoft, microsoftApplication_.tenant));
}

bool SignInPanel::MicrosoftSetup()
{
    // With no application yet, the account type is guessed from the Live ID.
    const platform::MicrosoftApplication proposed{
        microsoftApplication_.clientId,
        microsoftApplication_.clientId.isEmpty() ? tenantForAddress(LoginName()) : microsoftApplication_.tenant};
    const auto chosen = window_.services.boxes.microsoftSetup(proposed);
    if (!chosen)
        return false;
    saveSetting(settings_keys::OAuthClientId, chosen->clientId);
    saveSetting(settings_keys::OAuthAuthority, chosen->tenant);
    // Whoever set the application up may mean another account than the browser holds.
    chooseAccountNext_ = true;
    chooseMicrosoftApplication();
    applySignInMethod();
    return signInMethod_ == SignInMethod::Microsoft;
}

void SignInPanel::applySignInMethod()
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
    if (!readWindowSetting(window_.services.settings, settings_keys::Password, QString()).isEmpty())
        saveSetting(settings_keys::Password, QString());
    // Outside the numbered steps: a window given no sign-in object says so
    // at its first connect instead of failing its load.
    if (signInMethod_ == SignInMethod::Microsoft && window_.services.signIn) {
        window_.services.signIn->setRemembered(Check1->checkState() != Qt::Unchecked);
        window_.services.signIn->setBrowserNotOpenedNotice([this](const QString& address) {
            window_.services.boxes.show(texts::BrowserNotOpened.arg(address), texts::AppTitle, platform::BoxIcon::None);
        });
    }
}

// A token at hand (or refreshed) is tried first; the browser opens when there
// is none, or when the server refused it and a refreshed one.
bool SignInPanel::connectWithMicrosoft(clsChilkatIMAP& session)
{
    // The Live ID typed is the mailbox asked for, and the tokens are its.
    const QString account = LoginName();
    if (!auth::isUsableAddress(account)) {
        window_.services.boxes.show(texts::LiveIdNotAnAddress, texts::AppTitle, platform::BoxIcon::None);
        return false;
    }
    bool browserUsed = false;
    const platform::AccessTokenResult atHand = signIn().accessToken(account, false);
    if (!atHand.signedIn()) {
        if (signInServiceFailed(atHand) || !signInThroughBrowser(account))
            return false;
        browserUsed = true;
    }
    // What the session's last request for a token came to.
    const auto renewal = std::make_shared<platform::SignInResult>(atHand);
    session.AccessTokens = tokensFor(account, renewal);
    while (true) {
        const platform::MailResult connected = connectAsMailbox(session, account, *renewal);
        if (connected.ok())
            break;
        if (connected.status != platform::MailStatus::TokenRefused || signInServiceFailed(*renewal))
            return false;  // the session or a box has said why
        if (browserUsed) {
            // A token just granted and still refused belongs to someone else.
            chooseAccountNext_ = true;
            window_.services.boxes.show(texts::SignInWrongAccount.arg(session.Username), texts::AppTitle, platform::BoxIcon::None);
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
        window_.services.boxes.show(texts::SignInOtherMailbox.arg(session.Username, account), texts::AppTitle, platform::BoxIcon::None);
    }
    if (Check1->checkState() != Qt::Unchecked && !signIn().canRemember() && !cannotRememberShown_) {
        cannotRememberShown_ = true;
        window_.services.boxes.show(texts::CannotRememberSignIn, texts::AppTitle, platform::BoxIcon::None);
    }
    return true;
}

// The Live ID typed first. When the server refuses the token for it, or
// takes it and will not open the mailbox, and the browser's sign-in named
// another address (an alias, a second account), that one, once.
platform::MailResult SignInPanel::connectAsMailbox(clsChilkatIMAP& session, const QString& account, const platform::SignInResult& renewal)
{
    QString mailbox = account;
    platform::MailResult connected;
    while (true) {
        session.Username = mailbox;
        connected = session.Connect();
        if (connected.ok())
            return connected;
        // A service that failed to renew the token would fail the other address too.
        const QString named = signIn().mailboxAddress(account);
        if (!connected.signInRefused() || mailbox != account || renewal.serviceFailed() || named.compare(account, Qt::CaseInsensitive) == 0)
            break;
        mailbox = named;
    }
    if (connected.status == platform::MailStatus::MailboxNotServed) {
        // The account the browser signed in cannot open the mailbox: its
        // tokens would only be refused again, and the next sign-in lets the
        // user choose another account instead of the one the browser holds.
        chooseAccountNext_ = true;
        signIn().signOut();
        window_.services.boxes.show(texts::MailboxNotServed.arg(session.Username), texts::AppTitle, platform::BoxIcon::None);
    }
    return connected;
}

platform::AccessTokenSource SignInPanel::tokensFor(const QString& account, std::shared_ptr<platform::SignInResult> renewal)
{
    return [this, account, renewal](bool refresh) {
        const platform::AccessTokenResult asked = signIn().accessToken(account, refresh);
        if (renewal)
            *renewal = asked;
        if (asked.signedIn())
            return platform::MailReply<QString>{{platform::MailStatus::Ok, {}}, asked.token};
        return platform::MailReply<QString>{{platform::MailStatus::TokenRefused, asked.detail}, {}};
    };
}

bool SignInPanel::signInServiceFailed(const platform::SignInResult& result)
{
    if (!result.serviceFailed())
        return false;
    showSignInOutcome(result);
    return true;
}

bool SignInPanel::signInThroughBrowser(const QString& account)
{
    if (window_.activity.unseen()) {
        window_.activity.connectWhenShown();
        return false;
    }
    while (true) {
        window_.fetch->setStatus(texts::StatusFinishInBrowser);
        // The window stays usable while the user is in the browser.
        window_.pointer.setDefault();
        window_.list->showSignInHelp(true);
        const platform::SignInResult outcome = signIn().signInInBrowser(account, chooseAccountNext_);
        window_.list->showSignInHelp(false);
        window_.pointer.setBusy();
        if (outcome.signedIn()) {
            chooseAccountNext_ = false;
            window_.fetch->setStatus(texts::StatusConnecting);
            return true;
        }
        // A new application set up from the box is tried at once.
        if (!showSignInOutcome(outcome))
            return false;
    }
}

bool SignInPanel::showSignInOutcome(platform::SignInResult result)
{
    Outcome& outcome = result.outcome;
    const QString& detail = result.detail;
    // A refusal Microsoft sent back with its code says what to do about it.
    if (outcome == Outcome::Declined || outcome == Outcome::Failed) {
        switch (refusalOf(detail)) {
        case SignInRefusal::Registration:
            return window_.services.boxes.offer(texts::SignInRegistrationRefused.arg(detail), texts::AppTitle, texts::MicrosoftSetupAction)
                   && MicrosoftSetup();
        case SignInRefusal::Administrator:
            window_.services.boxes.show(texts::SignInAdministratorNeeded.arg(detail, microsoftApplication_.clientId), texts::AppTitle,
                                        platform::BoxIcon::None);
            return false;
        case SignInRefusal::Declined:
            outcome = Outcome::Declined;
            break;
        case SignInRefusal::Unknown:
            break;
        }
    }
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
        text = texts::SignInUnexpected.arg(detail);
        break;
    // Microsoft shows a wrong application, account type or redirect address
    // only on its own page: these may all be one.
    case Outcome::Cancelled:
        return window_.services.boxes.offer(texts::SignInCancelled, texts::AppTitle, texts::MicrosoftSetupAction) && MicrosoftSetup();
    case Outcome::TimedOut:
        return window_.services.boxes.offer(texts::SignInTimedOut, texts::AppTitle, texts::MicrosoftSetupAction) && MicrosoftSetup();
    case Outcome::Failed:
    case Outcome::NoToken:
        return window_.services.boxes.offer(texts::SignInFailed.arg(detail), texts::AppTitle, texts::MicrosoftSetupAction)
               && MicrosoftSetup();
    }
    window_.services.boxes.show(text, texts::AppTitle, platform::BoxIcon::None);
    return false;
}

}  // namespace tallyhive

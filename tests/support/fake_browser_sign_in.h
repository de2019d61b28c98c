#pragma once

#include "interfaces/browser_sign_in.h"

#include <QList>
#include <QStringList>

#include <functional>

namespace tallyhive::testing {

// Browser sign-in in memory: the "browser" answers with browserOutcome (or
// whatever duringBrowser returns while the wait runs), and each sign-in or
// refresh hands out the next token of its list.
class FakeBrowserSignIn : public platform::BrowserSignIn {
public:
    void useApplication(const QString& clientId, const QString& authority) override { application = clientId + u' ' + authority; }
    platform::SignInResult signInInBrowser(const QString& account, bool chooseAccount = false) override
    {
        browserOpenedFor << account;
        choosingAccount << chooseAccount;
        waiting_ = true;
        Outcome outcome = browserOutcome;
        if (duringBrowser)
            outcome = duringBrowser();
        waiting_ = false;
        if (outcome == Outcome::SignedIn) {
            account_ = account;
            held_ = grantedTokens.isEmpty() ? QString() : grantedTokens.takeFirst();
            hasRefreshToken_ = true;
        }
        return {outcome, detail};
    }
    void setBrowserNotOpenedNotice(std::function<void(const QString&)> notice) override { browserNotOpened = std::move(notice); }
    void cancel() override { ++cancels; }
    bool waiting() const override { return waiting_; }

    platform::AccessTokenResult accessToken(const QString& account, bool refresh) override
    {
        tokenRequests << refresh;
        const platform::AccessTokenResult none{{refreshOutcome, detail}, {}};
        if (account != account_ || (!hasRefreshToken_ && held_.isEmpty()))
            return none;
        if (refresh || held_.isEmpty()) {
            if (!hasRefreshToken_ || refreshedTokens.isEmpty())
                return none;
            held_ = refreshedTokens.takeFirst();
        }
        return {{Outcome::SignedIn, {}}, held_};
    }
    QString mailboxAddress(const QString& account) const override
    {
        return account == account_ && !signedInAs.isEmpty() ? signedInAs : account;
    }

    void setRemembered(bool remember) override { remembered << remember; }
    void signOut() override
    {
        ++signOuts;
        account_.clear();
        held_.clear();
        hasRefreshToken_ = false;
    }
    bool canRemember() const override { return storeWorks; }

    // A sign-in from an earlier run, as if read back from the secret store.
    void remember(const QString& account, const QString& accessToken = {})
    {
        account_ = account;
        held_ = accessToken;
        hasRefreshToken_ = true;
    }

    Outcome browserOutcome = Outcome::SignedIn;
    QList<bool> choosingAccount;  // of each browser sign-in: whether the user was let choose the account
    Outcome refreshOutcome = Outcome::NoToken;
    std::function<Outcome()> duringBrowser;
    QStringList grantedTokens;    // one per browser sign-in
    QStringList refreshedTokens;  // one per refresh
    QString detail;
    QString signedInAs;  // the mailbox the "browser" opened; empty: the account asked for
    std::function<void(const QString&)> browserNotOpened;
    bool storeWorks = true;

    QString application;  // the client id and the authority last set
    QStringList browserOpenedFor;
    QList<bool> tokenRequests;
    QList<bool> remembered;
    int cancels = 0;
    int signOuts = 0;

private:
    bool waiting_ = false;
    QString account_;
    QString held_;
    bool hasRefreshToken_ = false;
};

}  // namespace tallyhive::testing

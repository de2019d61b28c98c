// "Remember me" across starts, with a secret store of the test's own (see
// tests/support/with_secret_store.sh): each MicrosoftSignIn stands for one
// start of the program.
#include "sign_in_fixture.h"

using namespace tallyhive;
using namespace tallyhive::testing;
using Outcome = platform::BrowserSignIn::Outcome;

namespace {

class RememberedSignInTest : public SignInTest {};

TEST_F(RememberedSignInTest, TheNextStartSignsInWithoutTheBrowserUntilForgotten)
{
    // The browser signed in another address than the Live ID typed.
    provider.signInAs(QStringLiteral("alias@example.net"));
    {
        auth::MicrosoftSignIn first(settings());
        first.setRemembered(true);
        ASSERT_EQ(first.signInInBrowser(account).outcome, Outcome::SignedIn);
        EXPECT_TRUE(first.canRemember());
        ASSERT_FALSE(first.accessToken(account, true).token.isEmpty());  // rotates: the store must follow
    }
    {
        auth::MicrosoftSignIn second(settings(QStringLiteral("false")));
        second.setRemembered(true);
        const platform::AccessTokenResult remembered = second.accessToken(account, false);
        EXPECT_FALSE(remembered.token.isEmpty()) << qPrintable(remembered.detail);
        EXPECT_EQ(second.mailboxAddress(account), QStringLiteral("alias@example.net"));
        EXPECT_TRUE(second.canRemember());
        EXPECT_EQ(provider.authorizeRequests(), 1);
        EXPECT_TRUE(second.accessToken(QStringLiteral("other@example.org"), false).token.isEmpty());
    }
    {
        // "Remember me" unticked: the stored token goes; unticked again, there is nothing left to remove.
        auth::MicrosoftSignIn third(settings());
        third.setRemembered(false);
        third.setRemembered(false);
        EXPECT_TRUE(third.canRemember());
    }
    auth::MicrosoftSignIn fourth(settings());
    fourth.setRemembered(true);
    const platform::AccessTokenResult none = fourth.accessToken(account, false);
    EXPECT_TRUE(none.token.isEmpty());
    EXPECT_EQ(none.outcome, Outcome::NoToken);
    // A store with nothing in it is not a broken one.
    EXPECT_TRUE(fourth.canRemember());
}

TEST_F(RememberedSignInTest, DeclinedOrRevokedSignInsLeaveNothingStored)
{
    {
        auth::MicrosoftSignIn first(settings());
        first.setRemembered(true);
        provider.declineConsent(true);
        EXPECT_EQ(first.signInInBrowser(account).outcome, Outcome::Declined);
        provider.declineConsent(false);
    }
    {
        auth::MicrosoftSignIn second(settings());
        second.setRemembered(true);
        EXPECT_TRUE(second.accessToken(account, false).token.isEmpty());
        ASSERT_EQ(second.signInInBrowser(account).outcome, Outcome::SignedIn);
        provider.revokeRefreshTokens();
        EXPECT_TRUE(second.accessToken(account, true).token.isEmpty());
    }
    auth::MicrosoftSignIn third(settings());
    third.setRemembered(true);
    EXPECT_TRUE(third.accessToken(account, false).token.isEmpty());
    EXPECT_EQ(provider.refreshes(), 1);  // the revoked token was dropped from the store, not tried again
}

}  // namespace

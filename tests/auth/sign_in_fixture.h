#pragma once

#include "auth/microsoft_sign_in.h"
#include "support/fake_identity_provider.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tallyhive::testing {

// Sign-in against our fake identity provider, with the headless browser
// following its redirects.
class SignInTest : public ::testing::Test {
protected:
    // flags: "--favicon", "--foreign" (see headless_browser.py)
    static QString headlessBrowser(const QString& flags = {})
    {
        return QStringLiteral("/usr/bin/python3 ") + qEnvironmentVariable("TALLYHIVE_SOURCE_DIR")
               + QStringLiteral("/tests/support/headless_browser.py ") + flags;
    }

    auth::OAuthSettings settings(const QString& browser = headlessBrowser()) const
    {
        auth::OAuthSettings s;
        s.clientId = QString::fromLatin1(FakeIdentityProvider::kClientId);
        s.authorizeUrl = QUrl(provider.authority() + QStringLiteral("/authorize"));
        s.tokenUrl = QUrl(provider.authority() + QStringLiteral("/token"));
        s.scope = QStringLiteral("https://outlook.office.com/IMAP.AccessAsUser.All offline_access openid email");
        s.browserCommand = browser;
        s.browserWaitMs = 20000;
        s.storeService = QStringLiteral("TallyhiveTest");
        return s;
    }

    FakeIdentityProvider provider;
    const QString account = QStringLiteral("tester@example.org");
};

}  // namespace tallyhive::testing
